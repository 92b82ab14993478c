// The cache where a run keeps its temporary databases (a mail source read
// into a database, its working copy). They hold mail, so every folder here is
// the user's alone, and nothing planted by another user is ever used.
//
// - The cache is $XDG_CACHE_HOME/tarnwick, else $HOME/.cache/tarnwick, made
//   0700 when missing and reused only when it is a real folder of this user
//   that nobody else may enter; otherwise the run refuses, naming it.
//   Without both variables (a system service) it is a fresh private folder
//   made under TMPDIR (else /tmp), "tarnwick-cache-XXXXXX", gone with the run
//   (one left by a killed run goes with its run folder, as below).
// - Each run works in a folder of its own inside the cache, "run-XXXXXX",
//   which it holds with an exclusive flock while it lives. A run killed with
//   SIGKILL cannot remove its folder, but its lock goes with it: the next run
//   removes every run folder whose lock is free before making its own. A
//   folder changed in the last minute is left alone: its run may be between
//   making it and locking it.
//
// One object per run; not thread-safe. Threads of the run only read Path().
#pragma once

#include <string>

namespace platform {

class RunCacheFolder {
public:
  RunCacheFolder() = default;
  ~RunCacheFolder();  // removes the folder and everything in it
  RunCacheFolder(const RunCacheFolder&) = delete;
  RunCacheFolder& operator=(const RunCacheFolder&) = delete;

  // Finds or makes the cache, clears the leftovers of ended runs and makes
  // this run's folder. False with *error (the folder and why) when the cache
  // cannot be used.
  [[nodiscard]] bool Create(std::string* error);
  // Removes this run's folder now (a fresh cache with it).
  void Remove();
  bool IsCreated() const { return m_runFd >= 0; }
  // The run's folder, without a trailing '/'; empty before Create.
  const std::string& Path() const { return m_strPath; }

  // The cache folder the environment names: empty without XDG_CACHE_HOME
  // and HOME (a fresh folder is then made under TempBase()).
  static std::string NamedCache();
  static std::string TempBase();  // TMPDIR, else /tmp, without a trailing '/'

private:
  std::string m_strPath;
  std::string m_strFreshCache;  // a cache made for this run alone, or empty
  int m_runFd = -1;             // holds the run folder's flock
};

// Removes every folder of this user in cache whose name starts with prefix,
// that has not changed for minAgeSeconds and whose flock nobody holds (their
// runs ended without removing them). Returns how many went.
int RemoveEndedRunFolders(const std::string& cache, const std::string& prefix = "run-",
                          int minAgeSeconds = 60);

}  // namespace platform
