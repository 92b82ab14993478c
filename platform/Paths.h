// Files, folders and time stamps as the run needs them. Plain functions over
// the C++ standard library and POSIX; thread-safe.
#pragma once

#include <atomic>

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The user's desktop folder (XDG_DESKTOP_DIR, else the desktop entry of
// $XDG_CONFIG_HOME/user-dirs.dirs, else $HOME/Desktop), created if missing.
// Empty when it cannot be resolved or made.
std::string DesktopFolder();

// The local date and time as "%d-%d-%d-%d-%d-%d" filled with day, month,
// year, hour, minute, second, without leading zeros (8-12-2025-9-5-7). When
// the local time cannot be had: "0-0-0--1--1--1".
std::u16string TimeStamp();

// Copies src to a new file dst. Never replaces a file: false when dst
// already exists (it is left as it is) or the copy failed. dst is never seen
// half written, even when the process is killed while copying: the bytes are
// written beside it and get its name when complete.
//
// pRunning, when given, is a run's Stop flag: once it reads 0 the copy is
// given up between chunks (nothing is left behind, false is returned), so a
// Stop does not wait for a large database to be copied whole.
[[nodiscard]] bool CopyFileNew(const std::string& src, const std::string& dst,
                               const std::atomic<std::uint8_t>* pRunning = nullptr);

// Size in bytes of a regular file; nullopt when it cannot be read.
std::optional<std::uint64_t> FileSize(const std::string& path);
bool FileExists(const std::string& path);

// The path separator of this platform, as the run composes paths with it.
inline constexpr char16_t kPathSeparator = u'/';

}  // namespace platform
