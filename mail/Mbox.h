// The mbox file format, read and written as "mboxrd": a message starts at a
// line beginning "From " that is the file's first line or follows an empty
// line (elsewhere such a line is body); inside a message a line that would start ">*From "
// has one more ">" in the file. Reading takes one ">" off such lines again, so
// what is written comes back byte for byte.
//
// Not thread-safe per object; separate objects are independent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "mail/MailDoc.h"

namespace mailio {

// True when the file's first non-empty line is an mbox From_ line.
bool LooksLikeMbox(std::string_view head);

struct MboxMessage {
  std::size_t number = 0;  // from 1
  std::string bytes;       // the message, From_ line and quoting taken off
  std::string fromLine;    // its From_ line, without the line end
  // Its entry in the file as it stands: from its From_ line up to the next
  // one (or the end), the separating empty line included.
  std::uint64_t offset = 0, length = 0;
  bool endsWithLineEnd = true;  // false: the file ends inside its last line
};
using MboxCallback = std::function<void(MboxMessage&&)>;

// Calls onMessage for every message of the mbox file at path, streaming (the
// file is never held whole in memory). Returns false with *error set when the
// file cannot be read.
[[nodiscard]] bool ReadMbox(const std::filesystem::path& path, const MboxCallback& onMessage,
                            std::string* error);
// The same for bytes already in memory.
void SplitMbox(std::string_view bytes, const MboxCallback& onMessage);

// The time of a From_ line ("From sender Fri Mar  5 14:07:09 2010"), read as
// local time; nullopt when the line has no such time.
std::optional<LocalTime> FromLineTime(std::string_view fromLine);

// Quotes a message's lines for an mbox body (">From " rule above).
std::string QuoteFromLines(std::string_view message);

// "From sender Www Mmm dd hh:mm:ss yyyy" (asctime form), no line end.
std::string FromLine(const std::string& sender, const LocalTime& when);

// Writes messages to a new mbox file. Close reports a write failure.
class MboxWriter {
public:
  MboxWriter() = default;
  ~MboxWriter();
  MboxWriter(const MboxWriter&) = delete;
  MboxWriter& operator=(const MboxWriter&) = delete;

  // Makes the mbox at path (owner-only), replacing a file there only at
  // Close. False with *error on failure.
  [[nodiscard]] bool Open(const std::filesystem::path& path, std::string* error);
  // A message with a From_ line made from sender and when.
  void Append(const std::string& sender, const LocalTime& when, std::string_view message);
  // A message with the given From_ line (without its line end).
  void AppendWithFromLine(std::string_view fromLine, std::string_view message);
  [[nodiscard]] bool Close(std::string* error);

private:
  std::FILE* m_pFile = nullptr;  // owned; closed by Close or the destructor
  std::filesystem::path m_path;
  std::filesystem::path m_draft;  // written here, renamed to m_path by Close
};

}  // namespace mailio
