// The locks an mbox is written under: the dotlock file NAME.lock that
// delivery programs (procmail, postfix local, mutt) create, and an fcntl
// write lock on the file itself. Holding both keeps every well-behaved
// writer out while a file is read for cleaning and rewritten.
//
// One object per locked file; not thread-safe. The destructor releases.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"

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
  // dotlock is stale, and broken, when it is older than 1024 seconds, or
  // when the process it names (ours write their id into it) is gone and no
  // process holds the file locked: a killed run or undo leaves one.
  [[nodiscard]] bool Acquire(const std::filesystem::path& path, std::string* error);
  // The descriptor of the locked file (read-write), or -1.
  int Descriptor() const { return m_fd; }
  void Release();
  // For a process that takes the work over from the one that locked (see
  // FinishEvenIfKilled): the dotlock goes, as the locker is gone.
  void RemoveDotlock() const;

private:
  int m_fd = -1;  // owned; closed by Release
  std::filesystem::path m_dotlock;  // empty when not held
};

using platform::WriteAll;

// Runs work, an in-place rewrite of files held under locks, so that it ends
// whole even when this process is killed in the middle: in a child process
// that inherits the descriptors and with them the fcntl locks (open file
// description locks), and that ignores the signals that end a terminal
// session. When this process dies first, the child finishes, removes the
// dotlocks of locks and exits, so the files are either as before or as
// work leaves them, never half written. False with *error as work gives it.
// work must touch nothing but files: the child shares no thread of ours.
[[nodiscard]] bool FinishEvenIfKilled(const std::function<bool(std::string*)>& work,
                                      const std::vector<const MboxLock*>& locks, std::string* error);

}  // namespace mailio
