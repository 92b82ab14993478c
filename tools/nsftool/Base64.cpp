#include "tools/nsftool/Base64.h"

namespace nsftool {

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  // Written through a pointer into the sized string: a dump encodes every
  // picture and attachment, and appending a character at a time checked the
  // capacity four times per three bytes.
  std::string out((bytes.size() + 2) / 3 * 4, '=');
  char* p = out.data();
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    *p++ = kAlphabet[(v >> 18) & 63];
    *p++ = kAlphabet[(v >> 12) & 63];
    *p++ = kAlphabet[(v >> 6) & 63];
    *p++ = kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    *p++ = kAlphabet[(v >> 18) & 63];
    *p++ = kAlphabet[(v >> 12) & 63];
    if (rest == 2) *p = kAlphabet[(v >> 6) & 63];
  }
  return out;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        ++pad;
        v[k] = 0;
        continue;
      }
      if (pad > 0) return std::nullopt;  // data after padding
      v[k] = Value(c);
      if (v[k] < 0) return std::nullopt;
    }
    const unsigned n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out += static_cast<char>((n >> 16) & 0xFF);
    if (pad < 2) out += static_cast<char>((n >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(n & 0xFF);
  }
  return out;
}

}  // namespace nsftool
