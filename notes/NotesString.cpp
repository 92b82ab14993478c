#include "notes/NotesString.h"

#include <algorithm>
#include <vector>

#include "platform/Text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character at pos and advances past it; an ill-formed
// byte gives U+FFFD and advances by one.
char32_t DecodeNext(std::string_view bytes, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(pos);
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + static_cast<std::size_t>(extra) >= bytes.size()) {
    ++pos;
    return kReplacement;
  }
  for (int i = 1; i <= extra; ++i) {
    const unsigned char c = byte(pos + static_cast<std::size_t>(i));
    if ((c & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += static_cast<std::size_t>(extra) + 1;
  return cp;
}


}  // namespace

std::u16string NotesStringToText(std::size_t n, const LNString& text) {
  // A UTF-8 string never has more UTF-16 code units than bytes, so its byte
  // length is always room enough.
  const std::size_t units = std::max(n, text.GetBufLength());
  std::vector<char> buffer(2 * units + 2, 0);
  std::size_t length = 0;
  (void)LNStringTranslate(text, 0, buffer.size(), buffer.data(), &length);
  std::u16string out;
  for (std::size_t i = 0; i + 1 < buffer.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                                (static_cast<unsigned char>(buffer[i + 1]) << 8));
    if (unit == 0) break;
    out.push_back(unit);
  }
  return out;
}

std::u16string AnsiToText(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const char32_t cp = DecodeNext(bytes, pos);
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string TextToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      platform::AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      platform::AppendUtf8(out, kReplacement);
    } else {
      platform::AppendUtf8(out, c);
    }
  }
  return out;
}
