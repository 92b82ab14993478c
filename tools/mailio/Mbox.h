// The mbox file format, read and written as "mboxrd": a message starts at a
// line beginning "From "; inside a message a line that would start ">*From "
// has one more ">" in the file. Reading takes one ">" off such lines again, so
// what is written comes back byte for byte.
//
// Not thread-safe per object; separate objects are independent.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "tools/mailio/MailDoc.h"

namespace mailio {

// True when the file's first non-empty line is an mbox From_ line.
bool LooksLikeMbox(std::string_view head);

// Calls onMessage(number from 1, message bytes) for every message of the mbox
// file at path, streaming (the file is never held whole in memory). Returns
// false with *error set when the file cannot be read.
[[nodiscard]] bool ReadMbox(const std::filesystem::path& path,
                            const std::function<void(std::size_t, std::string&&)>& onMessage,
                            std::string* error);
// The same for bytes already in memory.
void SplitMbox(std::string_view bytes, const std::function<void(std::size_t, std::string&&)>& onMessage);

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

  // Creates or truncates path. False with *error on failure.
  [[nodiscard]] bool Open(const std::filesystem::path& path, std::string* error);
  void Append(const std::string& sender, const LocalTime& when, std::string_view message);
  [[nodiscard]] bool Close(std::string* error);

private:
  std::FILE* m_pFile = nullptr;  // owned; closed by Close or the destructor
  std::filesystem::path m_path;
};

}  // namespace mailio
