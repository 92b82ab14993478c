#include "mail/imap/FolderName.h"

#include <vector>

#include "platform/Text.h"

namespace mailio::imap {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int AlphabetValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == ',') return 63;
  return -1;
}

bool Printable(unsigned char c) { return c >= 0x20 && c <= 0x7e; }

// Writes units as modified base64 (no padding) between & and -.
void AppendShift(std::string& out, const std::u16string& units) {
  out += '&';
  unsigned bits = 0;
  int nBits = 0;
  for (char16_t unit : units) {
    bits = (bits << 16) | unit;
    nBits += 16;
    while (nBits >= 6) {
      nBits -= 6;
      out += kAlphabet[(bits >> nBits) & 0x3f];
    }
  }
  if (nBits > 0) out += kAlphabet[(bits << (6 - nBits)) & 0x3f];
  out += '-';
}

}  // namespace

std::optional<std::string> EncodeModifiedUtf7(std::string_view utf8) {
  if (!platform::IsPlainUtf8(utf8)) return std::nullopt;
  const std::u16string text = platform::FromUtf8(utf8);
  std::string out;
  std::u16string pending;  // the run of units that goes into one shift
  for (char16_t unit : text) {
    if (unit < 0x80 && Printable(static_cast<unsigned char>(unit))) {
      if (!pending.empty()) {
        AppendShift(out, pending);
        pending.clear();
      }
      out += static_cast<char>(unit);
      if (unit == u'&') out += '-';
    } else {
      pending += unit;
    }
  }
  if (!pending.empty()) AppendShift(out, pending);
  return out;
}

std::optional<std::string> DecodeModifiedUtf7(std::string_view name) {
  std::u16string text;
  size_t i = 0;
  while (i < name.size()) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (!Printable(c)) return std::nullopt;
    if (c != '&') {
      text += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    const size_t end = name.find('-', i + 1);
    if (end == std::string_view::npos) return std::nullopt;
    if (end == i + 1) {
      text += u'&';
      i = end + 1;
      continue;
    }
    unsigned bits = 0;
    int nBits = 0;
    std::u16string units;
    for (size_t k = i + 1; k < end; ++k) {
      const int value = AlphabetValue(name[k]);
      if (value < 0) return std::nullopt;
      bits = ((bits << 6) | static_cast<unsigned>(value)) & 0x3fffff;
      nBits += 6;
      if (nBits >= 16) {
        nBits -= 16;
        units += static_cast<char16_t>((bits >> nBits) & 0xffff);
      }
    }
    // What is left must be fewer than six bits, all zero: an encoder pads
    // only the last unit.
    if (nBits >= 6 || (bits & ((1u << nBits) - 1)) != 0 || units.empty()) return std::nullopt;
    for (char16_t unit : units) {
      if (unit < 0x80 && Printable(static_cast<unsigned char>(unit))) return std::nullopt;
    }
    text += units;
    i = end + 1;
  }
  // Surrogates must pair up; FromUtf8(ToUtf8()) would hide a lone one.
  for (size_t k = 0; k < text.size(); ++k) {
    const char16_t u = text[k];
    if (u >= 0xd800 && u <= 0xdbff) {
      if (k + 1 >= text.size() || text[k + 1] < 0xdc00 || text[k + 1] > 0xdfff) return std::nullopt;
      ++k;
    } else if (u >= 0xdc00 && u <= 0xdfff) {
      return std::nullopt;
    }
  }
  return platform::ToUtf8(text);
}

}  // namespace mailio::imap
