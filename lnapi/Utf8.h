// UTF-8 and UTF-16 helpers of the Notes stand-in, whose character set is
// UTF-8. Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lnapi::utf8 {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at pos and advances pos past it. Ill-formed bytes
// (a stray continuation byte, an overlong form, a surrogate, a sequence cut
// short) give U+FFFD and advance by the maximal ill-formed part, at least 1.
char32_t Next(std::string_view bytes, std::size_t& pos);

// Length of the longest prefix of text of at most maxBytes bytes that does
// not end inside a character.
std::size_t FitPrefix(std::string_view text, std::size_t maxBytes);

// Number of characters (U+FFFD counted once per ill-formed part).
std::size_t CountChars(std::string_view bytes);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string FromUtf16(std::u16string_view text);
// UTF-8 to UTF-16.
std::u16string ToUtf16(std::string_view bytes);
// Appends c as UTF-8.
void Append(std::string& out, char32_t c);

// UTF-8 to UTF-16LE bytes into out (at most outSize bytes, even count),
// stopping before a character whose code units do not fit. Returns the
// bytes written; *consumed (when given) gets the input bytes used.
std::size_t ToUtf16Le(std::string_view bytes, char* out, std::size_t outSize,
                      std::size_t* consumed = nullptr);

}  // namespace lnapi::utf8
