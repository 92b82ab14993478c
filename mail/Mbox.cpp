#include "mail/Mbox.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "platform/CreateNew.h"

namespace mailio {

namespace {

bool IsFromLine(std::string_view line) { return line.substr(0, 5) == "From "; }

bool IsEmptyLine(std::string_view line) { return line.empty() || line == "\r"; }

// ">From ", ">>From " ... : one ">" of those was added when writing.
bool IsQuotedFromLine(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] == '>') ++i;
  return i > 0 && line.substr(i, 5) == "From ";
}

// Collects lines into messages; shared by the file and the memory reader.
class Splitter {
public:
  explicit Splitter(const MboxCallback& onMessage) : m_onMessage(onMessage) {}

  // line without its "\n", starting at offset in the file
  void Line(std::string_view line, std::uint64_t offset) {
    // Only a "From " line at the very start or after an empty line begins a
    // message; anywhere else it is a body line that a writer left unquoted.
    const bool bAfterEmpty = m_bAfterEmpty;
    m_bAfterEmpty = IsEmptyLine(line);
    if (bAfterEmpty && IsFromLine(line)) {
      Flush(offset);
      m_nOffset = offset;
      m_bInMessage = true;
      m_fromLine.assign(line);
      if (!m_fromLine.empty() && m_fromLine.back() == '\r') m_fromLine.pop_back();
      return;
    }
    if (!m_bInMessage) return;  // text before the first From_ line is no message
    if (IsQuotedFromLine(line)) line.remove_prefix(1);
    m_message.append(line);
    m_message += '\n';
  }

  // end: where the entry ends in the file; complete: false when the file
  // ended inside the entry's last line.
  void Flush(std::uint64_t end, bool complete = true) {
    if (!m_bInMessage) return;
    // The empty line before the next From_ line separates; it is not content.
    // A message that is that line alone was empty.
    if (m_message == "\n" || m_message == "\r\n") m_message.clear();
    else if (m_message.size() >= 2 && m_message.ends_with("\n\n")) m_message.pop_back();
    else if (m_message.size() >= 3 && m_message.ends_with("\n\r\n")) m_message.resize(m_message.size() - 2);
    m_onMessage({++m_nCount, std::move(m_message), std::move(m_fromLine), m_nOffset, end - m_nOffset, complete});
    m_message.clear();
    m_fromLine.clear();
    m_bInMessage = false;
  }

private:
  const MboxCallback& m_onMessage;
  std::string m_message;
  std::string m_fromLine;
  std::size_t m_nCount = 0;
  std::uint64_t m_nOffset = 0;  // of the open entry's From_ line
  bool m_bInMessage = false;
  bool m_bAfterEmpty = true;  // the next line may begin a message
};

}  // namespace

bool LooksLikeMbox(std::string_view head) {
  const auto start = head.find_first_not_of("\r\n");
  return start != std::string_view::npos && IsFromLine(head.substr(start));
}

bool ReadMbox(const std::filesystem::path& path, const MboxCallback& onMessage, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  // Read in large blocks and split here: a stream read line by line spends
  // more on copying each line than the import on reading the message.
  constexpr std::size_t kBlock = 1 << 20;
  std::unique_ptr<char[]> block(new char[kBlock]);
  Splitter splitter(onMessage);
  std::string carried;  // a line that runs past the end of a block
  std::uint64_t offset = 0;  // of the next line's start in the file
  for (;;) {
    const std::size_t got = std::fread(block.get(), 1, kBlock, file);
    std::string_view rest(block.get(), got);
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      if (end == std::string_view::npos) {
        carried.append(rest);
        break;
      }
      std::string_view line = rest.substr(0, end);
      if (!carried.empty()) {
        carried.append(line);
        line = carried;
      }
      splitter.Line(line, offset);
      offset += line.size() + 1;
      carried.clear();
      rest.remove_prefix(end + 1);
    }
    if (got < kBlock) break;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = "read error";
    return false;
  }
  // A last line without a line end still belongs to the last message.
  if (!carried.empty()) {
    splitter.Line(carried, offset);
    offset += carried.size();
  }
  splitter.Flush(offset, carried.empty());
  return true;
}

void SplitMbox(std::string_view bytes, const MboxCallback& onMessage) {
  Splitter splitter(onMessage);
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t end = bytes.find('\n', i);
    if (end == std::string_view::npos) end = bytes.size();
    splitter.Line(bytes.substr(i, end - i), i);
    i = end + 1;
  }
  splitter.Flush(bytes.size(), bytes.empty() || bytes.back() == '\n');
}

std::string QuoteFromLines(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 16);
  std::size_t i = 0;
  while (i < message.size()) {
    std::size_t end = message.find('\n', i);
    const std::size_t stop = end == std::string_view::npos ? message.size() : end + 1;
    std::string_view line = message.substr(i, stop - i);
    if (IsFromLine(line) || IsQuotedFromLine(line)) out += '>';
    out.append(line);
    i = stop;
  }
  return out;
}

std::optional<LocalTime> FromLineTime(std::string_view fromLine) {
  // Skip "From" and the sender; the rest is the asctime text.
  std::size_t at = fromLine.find(' ');
  if (at == std::string_view::npos) return std::nullopt;
  at = fromLine.find_first_not_of(' ', at);
  at = at == std::string_view::npos ? at : fromLine.find(' ', at);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string rest(fromLine.substr(at));
  std::tm tm{};
  const char* end = strptime(rest.c_str(), " %a %b %d %H:%M:%S %Y", &tm);
  if (!end) return std::nullopt;
  LocalTime t{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  if (t.year < 1601 || t.year > 9999) return std::nullopt;
  return t;
}

std::string FromLine(const std::string& sender, const LocalTime& when) {
  std::tm tm{};
  tm.tm_year = when.year - 1900;
  tm.tm_mon = when.month - 1;
  tm.tm_mday = when.day;
  tm.tm_hour = when.hour;
  tm.tm_min = when.minute;
  tm.tm_sec = when.second;
  tm.tm_isdst = -1;
  if (when.year == 0 || mktime(&tm) == static_cast<std::time_t>(-1)) {  // fills the weekday
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &tm);
  }
  char buf[64];
  std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tm);
  return "From " + sender + " " + buf;
}

MboxWriter::~MboxWriter() {
  if (!m_pFile) return;
  std::fclose(m_pFile);  // not closed: no mbox is made
  ::unlink(m_draft.c_str());
}

bool MboxWriter::Open(const std::filesystem::path& path, std::string* error) {
  // Written into a draft created new beside it and renamed over path at the
  // end: a link planted at path is replaced, never written through.
  m_path = path;
  m_draft = path.parent_path() / (".tarnwick-mbox-" + std::to_string(::getpid()));  // short whatever path's name
  const int fd = platform::CreateNewFile(m_draft.string(), platform::Access::ownerOnly);
  m_pFile = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (!m_pFile) {
    *error = std::strerror(errno);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(m_draft.c_str());
    }
  }
  return m_pFile != nullptr;
}

void MboxWriter::Append(const std::string& sender, const LocalTime& when, std::string_view message) {
  AppendWithFromLine(FromLine(sender, when), message);
}

void MboxWriter::AppendWithFromLine(std::string_view fromLine, std::string_view message) {
  if (!m_pFile) return;
  std::string out(fromLine);
  out += '\n';
  // Every message, an empty one too, ends with an empty line: the next From_
  // line begins a message only after one.
  if (!message.empty()) {
    out += QuoteFromLines(message);
    if (out.back() != '\n') out += '\n';
  }
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), m_pFile);
}

bool MboxWriter::Close(std::string* error) {
  if (!m_pFile) return true;
  const bool failed = std::ferror(m_pFile) != 0 || std::fflush(m_pFile) != 0 || ::fsync(::fileno(m_pFile)) != 0;
  const bool closeFailed = std::fclose(m_pFile) != 0;
  m_pFile = nullptr;
  if (failed || closeFailed || ::rename(m_draft.c_str(), m_path.c_str()) != 0) {
    *error = "cannot write " + m_path.string() + ": " + std::strerror(errno);
    ::unlink(m_draft.c_str());
    return false;
  }
  return true;
}

}  // namespace mailio
