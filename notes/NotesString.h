// Text at the boundary with the Notes API: Notes strings (the Notes
// character set, UTF-8 here) and 8-bit text of the ANSI code page (the
// locale's character set, UTF-8 on these machines) to and from the UTF-16
// text the system works in. Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "lnapi/LNNotes.h"

// The Notes string as UTF-16 text, translated with LNStringTranslate into a
// zero-filled buffer of 2 × n + 2 bytes and read up to its first zero code
// unit. n is the string's byte length or its character count, as the caller
// says. A character count undercounts characters that need two UTF-16 code
// units; the buffer is then widened so that no character is ever cut off
// (a cut-off text could make two different keys equal).
std::u16string NotesStringToText(std::size_t n, const LNString& text);

// 8-bit text in the ANSI code page to UTF-16. Ill-formed bytes give U+FFFD.
std::u16string AnsiToText(std::string_view bytes);

// UTF-16 to 8-bit text in the ANSI code page. A lone surrogate gives U+FFFD.
std::string TextToAnsi(std::u16string_view text);
