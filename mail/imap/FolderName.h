// Folder names between this program (UTF-8) and an IMAP server that does not
// offer UTF-8 names: the modified UTF-7 of IMAP4rev1 (printable ASCII stands
// for itself, `&` is written `&-`, anything else goes as UTF-16 in base64
// with `,` for `/` between `&` and `-`). Pure functions; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mailio::imap {

// utf8 as the server's name; nullopt when utf8 is not well-formed UTF-8.
[[nodiscard]] std::optional<std::string> EncodeModifiedUtf7(std::string_view utf8);

// A server's name as UTF-8; nullopt when it is not modified UTF-7 as an
// encoder writes it: a byte outside printable ASCII, an unterminated or
// empty shift, printable ASCII or `&` inside a shift, a lone surrogate,
// or bits left over at the end of a shift. The caller decides what to show
// for such a name.
[[nodiscard]] std::optional<std::string> DecodeModifiedUtf7(std::string_view name);

}  // namespace mailio::imap
