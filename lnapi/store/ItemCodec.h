// How item values are laid out as bytes in the store. The LN classes read
// them, nsftool writes and dumps them, the HTML converter gets them raw.
//
//   text (1280)        UTF-8 bytes
//   text list (1281)   u32 count, then per entry u32 length and UTF-8 bytes
//   number (768)       IEEE double, 8 bytes
//   time (1024)        u16 year, u8 month, day, hour, minute, second,
//                      hundredth (8 bytes, local time)
//   HTML (21)          u16 type word 21, then the text bytes (UTF-16LE or UTF-8)
//   rich text (1)      the records of lnapi/RichText.h
//   attachment (3)     u32 file name length, file name (UTF-8), file bytes
// All integers little-endian. Decoders return std::nullopt for bytes that do
// not have the layout; they never read past the value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lnapi::store {

struct TimeValue {
  int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0, nSecond = 0, nHundredth = 0;
  bool operator==(const TimeValue&) const = default;
};

struct AttachmentValue {
  std::string strFileName;
  std::string data;
};

std::string EncodeTextList(const std::vector<std::string>& entries);
std::optional<std::vector<std::string>> DecodeTextList(std::string_view bytes);
std::string EncodeNumber(double value);
std::optional<double> DecodeNumber(std::string_view bytes);
std::string EncodeTime(const TimeValue& t);
std::optional<TimeValue> DecodeTime(std::string_view bytes);
std::string EncodeAttachment(const AttachmentValue& a);
std::optional<AttachmentValue> DecodeAttachment(std::string_view bytes);
// Just the name and size of an attachment value, without copying the bytes.
std::optional<std::pair<std::string, std::size_t>> PeekAttachment(std::string_view bytes);

// "YYYY-MM-DDTHH:MM:SS" with optional ".hh"; nullopt unless it is a real date
// and time.
std::optional<TimeValue> ParseTime(std::string_view text);
// The same form; ".hh" only when hundredths are not 0 or always is set.
std::string FormatTime(const TimeValue& t, bool alwaysHundredths = false);

}  // namespace lnapi::store
