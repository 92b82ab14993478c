#include "lnapi/store/ItemCodec.h"

#include <cstdio>
#include <cstring>

namespace lnapi::store {

namespace {

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Reads a u32 at pos; false when the bytes run out.
bool GetU32(std::string_view bytes, std::size_t& pos, std::uint32_t& v) {
  if (bytes.size() - pos < 4 || pos > bytes.size()) return false;
  v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{static_cast<unsigned char>(bytes[pos + i])} << (8 * i);
  pos += 4;
  return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

bool IsReal(const TimeValue& t) {
  return t.nYear >= 1 && t.nYear <= 9999 && t.nMonth >= 1 && t.nMonth <= 12 && t.nDay >= 1 &&
         t.nDay <= DaysIn(t.nYear, t.nMonth) && t.nHour >= 0 && t.nHour <= 23 && t.nMinute >= 0 &&
         t.nMinute <= 59 && t.nSecond >= 0 && t.nSecond <= 59 && t.nHundredth >= 0 &&
         t.nHundredth <= 99;
}

}  // namespace

std::string EncodeTextList(const std::vector<std::string>& entries) {
  std::string out;
  PutU32(out, static_cast<std::uint32_t>(entries.size()));
  for (const auto& e : entries) {
    PutU32(out, static_cast<std::uint32_t>(e.size()));
    out += e;
  }
  return out;
}

std::optional<std::vector<std::string>> DecodeTextList(std::string_view bytes) {
  std::size_t pos = 0;
  std::uint32_t count = 0;
  if (!GetU32(bytes, pos, count) || count > (bytes.size() - pos) / 4) return std::nullopt;
  std::vector<std::string> entries;
  entries.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t len = 0;
    if (!GetU32(bytes, pos, len) || len > bytes.size() - pos) return std::nullopt;
    entries.emplace_back(bytes.substr(pos, len));
    pos += len;
  }
  if (pos != bytes.size()) return std::nullopt;
  return entries;
}

std::string EncodeNumber(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  std::string out;
  for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
  return out;
}

std::optional<double> DecodeNumber(std::string_view bytes) {
  if (bytes.size() != 8) return std::nullopt;
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string EncodeTime(const TimeValue& t) {
  std::string out;
  out += static_cast<char>(t.nYear & 0xFF);
  out += static_cast<char>((t.nYear >> 8) & 0xFF);
  for (int v : {t.nMonth, t.nDay, t.nHour, t.nMinute, t.nSecond, t.nHundredth})
    out += static_cast<char>(v & 0xFF);
  return out;
}

std::optional<TimeValue> DecodeTime(std::string_view bytes) {
  if (bytes.size() != 8) return std::nullopt;
  const auto b = [&](int i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  TimeValue t{b(0) | (b(1) << 8), b(2), b(3), b(4), b(5), b(6), b(7)};
  if (!IsReal(t)) return std::nullopt;
  return t;
}

std::string EncodeAttachment(const AttachmentValue& a) {
  std::string out;
  out.reserve(4 + a.strFileName.size() + a.data.size());
  PutU32(out, static_cast<std::uint32_t>(a.strFileName.size()));
  out += a.strFileName;
  out += a.data;
  return out;
}

std::optional<std::pair<std::string, std::size_t>> PeekAttachment(std::string_view bytes) {
  std::size_t pos = 0;
  std::uint32_t len = 0;
  if (!GetU32(bytes, pos, len) || len > bytes.size() - pos) return std::nullopt;
  return std::pair{std::string(bytes.substr(pos, len)), bytes.size() - pos - len};
}

std::optional<AttachmentValue> DecodeAttachment(std::string_view bytes) {
  const auto peek = PeekAttachment(bytes);
  if (!peek) return std::nullopt;
  return AttachmentValue{peek->first, std::string(bytes.substr(4 + peek->first.size()))};
}

std::optional<TimeValue> ParseTime(std::string_view text) {
  // Digits at fixed places; anything else is refused.
  const auto num = [&](std::size_t pos, std::size_t len, int& out) {
    if (pos + len > text.size()) return false;
    out = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  TimeValue t;
  if (text.size() != 19 && text.size() != 22) return std::nullopt;
  if (!num(0, 4, t.nYear) || text[4] != '-' || !num(5, 2, t.nMonth) || text[7] != '-' ||
      !num(8, 2, t.nDay) || text[10] != 'T' || !num(11, 2, t.nHour) || text[13] != ':' ||
      !num(14, 2, t.nMinute) || text[16] != ':' || !num(17, 2, t.nSecond))
    return std::nullopt;
  if (text.size() == 22 && (text[19] != '.' || !num(20, 2, t.nHundredth))) return std::nullopt;
  if (!IsReal(t)) return std::nullopt;
  return t;
}

std::string FormatTime(const TimeValue& t, bool alwaysHundredths) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.nYear, t.nMonth, t.nDay, t.nHour,
                t.nMinute, t.nSecond);
  std::string out = buf;
  if (t.nHundredth != 0 || alwaysHundredths) {
    std::snprintf(buf, sizeof buf, ".%02d", t.nHundredth);
    out += buf;
  }
  return out;
}

}  // namespace lnapi::store
