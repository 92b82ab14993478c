#include "lnapi/Utf8.h"

namespace lnapi::utf8 {

char32_t Next(std::string_view bytes, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  std::size_t need = 0;
  char32_t c = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte (rejects overlongs, surrogates)
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    c = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    c = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    ++pos;
    return kReplacement;
  }
  std::size_t i = pos + 1;
  for (std::size_t k = 0; k < need; ++k, ++i) {
    if (i >= bytes.size()) {
      pos = i;
      return kReplacement;
    }
    const unsigned char b = byte(i);
    const unsigned char low = k == 0 ? lo : 0x80, high = k == 0 ? hi : 0xBF;
    if (b < low || b > high) {
      pos = i;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  pos = i;
  return c;
}

std::size_t FitPrefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t n = maxBytes;
  // Step back over continuation bytes to the start of the cut character.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

std::size_t CountChars(std::string_view bytes) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < bytes.size(); ++count) Next(bytes, pos);
  return count;
}

void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    Append(out, c);
  }
  return out;
}

std::u16string ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const char32_t c = Next(bytes, pos);
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::size_t ToUtf16Le(std::string_view bytes, char* out, std::size_t outSize,
                      std::size_t* consumed) {
  std::size_t written = 0, pos = 0;
  const auto put = [&](char32_t unit) {
    out[written++] = static_cast<char>(unit & 0xFF);
    out[written++] = static_cast<char>(unit >> 8);
  };
  while (pos < bytes.size()) {
    std::size_t next = pos;
    const char32_t c = Next(bytes, next);
    const std::size_t units = c >= 0x10000 ? 2 : 1;
    if (written + 2 * units > outSize) break;
    if (units == 2) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
    pos = next;
  }
  if (consumed) *consumed = pos;
  return written;
}

}  // namespace lnapi::utf8
