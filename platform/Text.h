// Conversions between the system's UTF-16 text and UTF-8 bytes (file paths,
// the Notes character set, terminal output). Pure functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Ill-formed input (a lone surrogate, a bad byte) becomes U+FFFD; nothing is
// dropped silently.
std::string ToUtf8(std::u16string_view text);
// Appends one code point as UTF-8. Surrogate values are encoded like any
// other (callers that must keep lone surrogates apart rely on it).
void AppendUtf8(std::string& out, char32_t cp);
std::u16string FromUtf8(std::string_view bytes);
// UTF-16 to UTF-8 that keeps every text apart: a lone surrogate is written
// as its own three bytes rather than replaced, so two different texts never
// give the same bytes (what duplicate keys are digested from). Appends.
void AppendDistinctUtf8(std::string& out, std::u16string_view text);
// The inverse of AppendDistinctUtf8: three bytes of a surrogate give that
// code unit. Bytes no UTF-8 encoder writes give U+FFFD each.
std::u16string FromDistinctUtf8(std::string_view bytes);
// True when bytes are well-formed UTF-8 (no surrogates, no overlong forms,
// nothing cut short) without a zero byte: text that UTF-16 and back leaves
// byte for byte as it is.
bool IsPlainUtf8(std::string_view bytes);
// Plain ASCII literal to UTF-16, for building texts from numbers and literals.
std::u16string Ascii(std::string_view text);
// "%d" of a signed 32-bit value, as UTF-16.
std::u16string DecimalText(long long value);

}  // namespace platform
