#include "engine/journal/JournalFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/CreateNew.h"
#include "platform/File.h"

namespace journal {

namespace {

std::uint32_t Crc32(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> kTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t LoadU32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

using platform::WriteAll;

bool ReadWhole(int fd, std::string& out) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buf, static_cast<std::size_t>(n));
  }
}

// Whether a whole record starts at pos: its length fits, its checksum
// holds and its kind and target read. Sets *size to the record's bytes.
bool RecordAt(std::string_view bytes, std::size_t pos, JournalRecord* out, std::size_t* size) {
  if (bytes.size() - pos < 8) return false;
  const std::uint32_t length = LoadU32(bytes, pos);
  if (length > bytes.size() - pos - 8) return false;
  const std::string_view payload = bytes.substr(pos + 8, length);
  if (Crc32(payload) != LoadU32(bytes, pos + 4)) return false;
  BodyReader reader(payload);
  JournalRecord record;
  record.strKind = reader.Text();
  record.strTarget = reader.Text();
  if (reader.Failed()) return false;
  record.body = reader.Rest();
  if (out) *out = std::move(record);
  *size = 8 + length;
  return true;
}

// A cheap look before the checksum: a record's payload begins with its
// kind, a short name of lower-case letters, digits and dashes. Keeps the
// search past a damaged stretch from summing the rest of the file at every
// byte.
bool MayStartRecord(std::string_view bytes, std::size_t pos) {
  if (bytes.size() - pos < 13) return false;
  const std::uint32_t kindLength = LoadU32(bytes, pos + 8);
  if (kindLength == 0 || kindLength > 32 || bytes.size() - pos - 12 < kindLength) return false;
  for (std::size_t i = 0; i < kindLength; ++i) {
    const char c = bytes[pos + 12 + i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) return false;
  }
  return true;
}

// Walks the records after the header, past damaged stretches to the next
// offset where a whole record stands. Returns the end of the last whole
// record: what follows it is the cut-off tail.
std::size_t ParseRecords(std::string_view bytes, JournalContents* out) {
  std::size_t pos = kJournalHeader.size();
  std::size_t end = pos;
  while (pos < bytes.size()) {
    JournalRecord record;
    std::size_t size = 0;
    if (RecordAt(bytes, pos, out ? &record : nullptr, &size)) {
      if (out) {
        out->vecRecords.push_back(std::move(record));
        out->vecOffsets.push_back(pos);
      }
      pos += size;
      end = pos;
      continue;
    }
    std::size_t next = pos + 1;
    while (next < bytes.size() && !(MayStartRecord(bytes, next) && RecordAt(bytes, next, nullptr, &size))) ++next;
    if (next >= bytes.size()) break;  // nothing whole after it: the tail a kill cut off
    if (out) out->vecDamage.push_back(pos);
    pos = next;
  }
  return end;
}

}  // namespace

BodyWriter& BodyWriter::U8(std::uint8_t v) {
  m_bytes += static_cast<char>(v);
  return *this;
}

BodyWriter& BodyWriter::U16(std::uint16_t v) {
  m_bytes += static_cast<char>(v & 0xFF);
  m_bytes += static_cast<char>(v >> 8);
  return *this;
}

BodyWriter& BodyWriter::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) m_bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
  return *this;
}

BodyWriter& BodyWriter::Text(std::string_view bytes) {
  U32(static_cast<std::uint32_t>(bytes.size()));
  m_bytes.append(bytes);
  return *this;
}

bool BodyReader::Need(std::size_t n) {
  if (m_bFailed || m_bytes.size() - m_nPos < n) {
    m_bFailed = true;
    return false;
  }
  return true;
}

std::uint8_t BodyReader::U8() {
  if (!Need(1)) return 0;
  return static_cast<std::uint8_t>(m_bytes[m_nPos++]);
}

std::uint16_t BodyReader::U16() {
  if (!Need(2)) return 0;
  const auto v = static_cast<std::uint16_t>(static_cast<unsigned char>(m_bytes[m_nPos]) |
                                            (static_cast<unsigned char>(m_bytes[m_nPos + 1]) << 8));
  m_nPos += 2;
  return v;
}

std::uint32_t BodyReader::U32() {
  if (!Need(4)) return 0;
  const std::uint32_t v = LoadU32(m_bytes, m_nPos);
  m_nPos += 4;
  return v;
}

std::string BodyReader::Rest() {
  std::string rest(m_bytes.substr(m_nPos));
  m_nPos = m_bytes.size();
  return rest;
}

std::string BodyReader::Text() {
  const std::uint32_t n = U32();
  if (!Need(n)) return {};
  std::string text(m_bytes.substr(m_nPos, n));
  m_nPos += n;
  return text;
}

std::unique_ptr<JournalWriter> JournalWriter::Open(const std::string& path, std::string* error, bool* pBusy) {
  return OpenAt(path, true, error, pBusy);
}

std::unique_ptr<JournalWriter> JournalWriter::OpenExisting(const std::string& path, std::string* error,
                                                           bool* pBusy) {
  return OpenAt(path, false, error, pBusy);
}

std::unique_ptr<JournalWriter> JournalWriter::OpenAt(const std::string& path, bool bCreate, std::string* error,
                                                     bool* pBusy) {
  if (pBusy) *pBusy = false;
  std::unique_ptr<JournalWriter> writer(new JournalWriter);
  writer->m_strPath = path;
  bool bCreated = false;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
    if (bCreate) {
      fd = platform::CreateNewFile(path, platform::Access::ownerOnly, 0600, O_RDWR);
      if (fd >= 0) {
        bCreated = true;
        break;
      }
      if (errno != EEXIST) break;
    }
    // An existing journal is appended to only when it is a regular file of
    // this user, reached without following a link.
    fd = platform::OpenOwnRegularFile(path, O_RDWR);
    if (fd < 0 && (errno != ENOENT || !bCreate)) break;  // gone again: create it after all
  }
  if (fd < 0) {
    *error = errno == ENOENT ? "the file does not exist" : std::strerror(errno);
    return nullptr;
  }
  writer->m_fd = fd;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool bBusy = errno == EWOULDBLOCK;
    *error = bBusy ? "a run still going writes it" : std::strerror(errno);
    if (pBusy) *pBusy = bBusy;
    return nullptr;
  }
  std::string bytes;
  if (!ReadWhole(fd, bytes)) {
    *error = std::strerror(errno);
    return nullptr;
  }
  if (bytes.empty() && bCreate) {
    // A new journal (or one whose creator was killed before its header):
    // the header, and the file's name made durable with it.
    if (!WriteAll(fd, kJournalHeader) || ::fsync(fd) != 0) {
      *error = std::strerror(errno);
      if (bCreated) ::unlink(path.c_str());
      return nullptr;
    }
    const std::size_t slash = path.rfind('/');
    const int dir = ::open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    writer->m_nEnd = kJournalHeader.size();
    return writer;
  }
  if (bytes.compare(0, kJournalHeader.size(), kJournalHeader) != 0) {
    *error = "the file exists and is not a Tarnwick journal";
    return nullptr;
  }
  // A run killed while it wrote its last record may have left part of it:
  // the next record goes where that part began. Damage before whole records
  // is kept as it is, with the records after it.
  writer->m_nEnd = ParseRecords(bytes, nullptr);
  if ((writer->m_nEnd != bytes.size() && ::ftruncate(fd, static_cast<off_t>(writer->m_nEnd)) != 0) ||
      ::lseek(fd, static_cast<off_t>(writer->m_nEnd), SEEK_SET) < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  return writer;
}

JournalWriter::~JournalWriter() {
  if (m_fd >= 0) ::close(m_fd);
}

bool JournalWriter::Append(const JournalRecord& record) {
  BodyWriter payload;
  payload.Text(record.strKind).Text(record.strTarget);
  std::string bytes = payload.Take();
  bytes += record.body;
  BodyWriter frame;
  frame.U32(static_cast<std::uint32_t>(bytes.size())).U32(Crc32(bytes));
  bytes.insert(0, frame.Bytes());
  if (!WriteAll(m_fd, bytes)) {
    // Leave no part of it for a reader to stumble over.
    if (::ftruncate(m_fd, static_cast<off_t>(m_nEnd)) == 0) ::lseek(m_fd, static_cast<off_t>(m_nEnd), SEEK_SET);
    return false;
  }
  m_nEnd += bytes.size();
  m_bDirty = true;
  return true;
}

bool JournalWriter::Sync() {
  if (!m_bDirty) return true;
  if (::fdatasync(m_fd) != 0) return false;
  m_bDirty = false;
  return true;
}

std::optional<JournalContents> ReadJournal(const std::string& path, std::string* error) {
  // Not blocking on open: a FIFO given as the journal is refused, not waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = errno == ENOENT ? "the file does not exist" : std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  std::string bytes;
  const bool bStat = ::fstat(fd, &st) == 0;
  const bool ok = bStat && S_ISREG(st.st_mode) && ReadWhole(fd, bytes);
  const int saved = errno;
  ::close(fd);
  if (!ok) {
    *error = !bStat               ? std::strerror(saved)
             : S_ISDIR(st.st_mode) ? "it is a folder, not a journal"
             : !S_ISREG(st.st_mode) ? "it is not a regular file"
                                    : std::strerror(saved);
    return std::nullopt;
  }
  if (bytes.compare(0, kJournalHeader.size(), kJournalHeader) != 0) {
    *error = "it is not a Tarnwick journal";
    return std::nullopt;
  }
  JournalContents contents;
  ParseRecords(bytes, &contents);
  return contents;
}

}  // namespace journal
