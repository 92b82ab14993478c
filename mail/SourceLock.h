// The locks an mbox is written under: the dotlock file NAME.lock that
// delivery programs (procmail, postfix local, mutt) create, and an fcntl
// write lock on the file itself. Holding both keeps every well-behaved
// writer out while a file is read for cleaning and rewritten.
//
// One object per locked file; not thread-safe. The destructor releases.
#pragma once

#include <filesystem>
#include <string>

namespace mailio {

class MboxLock {
public:
  MboxLock() = default;
  ~MboxLock();
  MboxLock(const MboxLock&) = delete;
  MboxLock& operator=(const MboxLock&) = delete;

  // Takes both locks on path, waiting a few seconds for a delivery in
  // progress. False with *error (why) when either cannot be had: the file is
  // locked by another program, or its folder does not allow the dotlock. A
  // dotlock older than 1024 seconds is stale (its program died: a killed
  // run or undo leaves one) and is broken.
  [[nodiscard]] bool Acquire(const std::filesystem::path& path, std::string* error);
  // The descriptor of the locked file (read-write), or -1.
  int Descriptor() const { return m_fd; }
  void Release();

private:
  int m_fd = -1;  // owned; closed by Release
  std::filesystem::path m_dotlock;  // empty when not held
};

}  // namespace mailio
