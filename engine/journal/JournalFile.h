// The journal file: an append-only file of records, each one framed and
// checksummed, that a run writes before it changes a database and undo reads
// back. The layout (also in the README):
//
//   header   "TARNWICK-JOURNAL 1\n"
//   record   u32 payload length, u32 CRC-32 of the payload, payload
//   payload  text kind, text target, body (the kind's own bytes)
//
// Integers are little-endian; a text is a u32 byte count and UTF-8 bytes.
// Each record is written with one write call, so a process killed at any
// moment leaves whole records and at most one cut-off record at the end.
// Anything else that fails its length or checksum is damage: a reader skips
// it to the next offset where a record's length and checksum hold, notes
// where the damaged stretch began, and goes on; bytes after the last whole
// record are the cut-off tail, which a reader ignores and a writer that
// appends cuts away first. A record is durable once Sync has returned true.
//
// A writer holds an exclusive flock on the file while it is open: one run
// (or one undo) writes a journal at a time.
//
// Threads: a JournalWriter is used by one thread at a time. Reading is
// stateless.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace journal {

inline constexpr std::string_view kJournalHeader = "TARNWICK-JOURNAL 1\n";

struct JournalRecord {
  std::string strKind;    // which registered kind undoes it (RecordKinds.h)
  std::string strTarget;  // the database or source it changed (UTF-8 path)
  std::string body;       // the kind's own bytes (RecordBody below)
};

// Little-endian writer and reader of a record body. The reader never reads
// past its bytes: a short or malformed body sets Failed() and yields zeros.
class BodyWriter {
public:
  BodyWriter& U8(std::uint8_t v);
  BodyWriter& U16(std::uint16_t v);
  BodyWriter& U32(std::uint32_t v);
  BodyWriter& Text(std::string_view bytes);
  const std::string& Bytes() const { return m_bytes; }
  std::string Take() { return std::move(m_bytes); }

private:
  std::string m_bytes;
};

class BodyReader {
public:
  explicit BodyReader(std::string_view bytes) : m_bytes(bytes) {}
  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::string Text();
  std::string Rest();  // every byte not read yet
  bool Failed() const { return m_bFailed; }
  bool AtEnd() const { return m_nPos == m_bytes.size(); }

private:
  bool Need(std::size_t n);
  std::string_view m_bytes;
  std::size_t m_nPos = 0;
  bool m_bFailed = false;
};

// Appends records to one journal file.
class JournalWriter {
public:
  // Creates the file new (mode 0600, never through a planted name) or, when
  // it exists and is a regular journal file of this user, opens it to append
  // after its last whole record. nullptr with *error set when the file
  // cannot be made or opened, exists and is not a journal, or another
  // writer holds it (*pBusy set true then, when given).
  static std::unique_ptr<JournalWriter> Open(const std::string& path, std::string* error,
                                             bool* pBusy = nullptr);
  // As Open, but only an existing journal: undo's record of what it restored.
  static std::unique_ptr<JournalWriter> OpenExisting(const std::string& path, std::string* error,
                                                     bool* pBusy = nullptr);
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Writes one record. False when it could not be written whole (what was
  // written of it is cut away again where possible).
  [[nodiscard]] bool Append(const JournalRecord& record);
  // Flushes every record appended so far to disk. False on failure.
  [[nodiscard]] bool Sync();
  const std::string& Path() const { return m_strPath; }

private:
  JournalWriter() = default;
  static std::unique_ptr<JournalWriter> OpenAt(const std::string& path, bool bCreate, std::string* error,
                                               bool* pBusy);
  std::string m_strPath;
  int m_fd = -1;            // owned; closed by the destructor
  std::uint64_t m_nEnd = 0;  // bytes of whole records (and header)
  bool m_bDirty = false;     // appended since the last Sync
};

struct JournalContents {
  std::vector<JournalRecord> vecRecords;  // oldest first
  std::vector<std::uint64_t> vecOffsets;  // where each record begins in the file
  std::vector<std::uint64_t> vecDamage;   // where each damaged stretch begins
};

// Reads every whole record of the journal at path, before and after any
// damaged stretch (a cut-off tail is not one). nullopt with *error set
// ("the file does not exist", "it is not a Tarnwick journal", ...) when the
// file cannot be read or does not start with the header.
std::optional<JournalContents> ReadJournal(const std::string& path, std::string* error);

}  // namespace journal
