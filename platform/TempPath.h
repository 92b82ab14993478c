// The user's private temporary directory, and writing files into it that
// other users of the machine cannot read.
//
// Pictures from people's mail are written there while a body is converted.
// The shared /tmp would let every local user read them, so the directory is
// TMPDIR when set, else XDG_RUNTIME_DIR (private by definition), else a folder
// /tmp/tarnwick-<uid> made with mode 0700 and refused when it is anything but
// a real directory of this user.
//
// Threads: the functions keep no state; they may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

// The user's temporary directory, ending with '/'. Has no side effects; the
// directory may not exist or may be unusable (see PrepareUserTempPath).
std::string UserTempPath();

// Makes sure UserTempPath() may receive private files: for the fallback
// folder under /tmp it is created 0700, or refused when it exists and is not
// a directory owned by this user that nobody else may enter, or is a
// symbolic link (its mode is never changed). TMPDIR and
// XDG_RUNTIME_DIR are the user's own choice and are taken as they are.
// Returns false when the directory must not be used.
[[nodiscard]] bool PrepareUserTempPath();

// Creates the directory at path with mode 0700 (its parent must exist). An
// existing directory is accepted when it is a real directory (not a symbolic
// link) owned by this user with no access for others; it is never changed.
// Returns whether the directory may be used.
[[nodiscard]] bool CreatePrivateDirectory(const std::string& path);

// Writes bytes to the file at path, replacing its content, with mode 0600.
// Never writes through anything planted at the path: an existing file is
// reused only when it is a plain file of this user with no other name,
// anything else there is removed and a fresh file made with O_EXCL. The
// folder is opened without following a link and must be owned by this
// user. Returns false (and leaves no partial file) when the file could not
// be written.
[[nodiscard]] bool WritePrivateFile(const std::string& path, std::string_view bytes);

namespace detail {
// The fallback folder "<sharedBase>/tarnwick-<uid>/", made or checked as
// PrepareUserTempPath says. sharedBase is "/tmp" in the program; tests pass
// a directory of their own.
std::string FallbackTempPath(const std::string& sharedBase, uid_t uid);
[[nodiscard]] bool PrepareFallbackTempPath(const std::string& sharedBase, uid_t uid);
}  // namespace detail

}  // namespace platform
