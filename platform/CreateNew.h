// Creating files and folders that nobody planted in advance.
//
// Every file and folder the programs make goes through these functions, so
// one rule holds everywhere: a name is created new or not at all. Nothing
// that already stands at the name (a symbolic link above all, a FIFO, a file
// of another user) is followed, truncated, reused or changed in mode; the
// caller sees EEXIST and takes another name or refuses.
//
// Threads: no state beyond the optional creation record, which is guarded;
// callable from any thread.
#pragma once

#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/types.h>

namespace platform {

// How the mode of a new file or folder is chosen.
enum class Access {
  // Files 0600, folders 0700, whatever the umask: it holds mail or its fields.
  ownerOnly,
  // The given mode bits masked by the process's umask: a file made from a
  // source gets no more access than the source has.
  likeSource,
};

// Creates the file at path new (O_CREAT|O_EXCL|O_NOFOLLOW|O_CLOEXEC plus
// flags, O_WRONLY when flags holds no access mode). Returns the descriptor,
// which the caller owns, or -1 with errno set (EEXIST: the name is taken).
[[nodiscard]] int CreateNewFile(const std::string& path, Access access,
                                mode_t sourceMode = 0600, int flags = O_WRONLY);

// As CreateNewFile, at name inside the folder open at dirFd (AT_FDCWD: the
// current folder), so that the folder checked is the one written into.
[[nodiscard]] int CreateNewFileAt(int dirFd, const std::string& name, Access access,
                                  mode_t sourceMode = 0600, int flags = O_WRONLY);

// Creates the folder at path new; false with errno set (EEXIST: taken).
[[nodiscard]] bool CreateNewDirectory(const std::string& path, Access access,
                                      mode_t sourceMode = 0700);

// Opens an existing file without following a link, and keeps it only when it
// is a regular file owned by this user. -1 with errno set otherwise (ELOOP
// for a link, EPERM for another's file, EINVAL for anything not regular).
[[nodiscard]] int OpenOwnRegularFile(const std::string& path, int flags);

// As CreateNewFile, at prefix + six random letters and digits (mkstemp's
// rule, with this module's modes and record): *createdPath gets the name.
// A name found taken is passed over, so a planted one only costs a retry.
[[nodiscard]] int CreateUniqueFile(const std::string& prefix, Access access, std::string* createdPath,
                                   mode_t sourceMode = 0600, int flags = O_WRONLY);

// As CreateNewDirectory, at prefix + six random letters and digits (mkdtemp).
[[nodiscard]] bool CreateUniqueDirectory(const std::string& prefix, Access access,
                                         std::string* createdPath, mode_t sourceMode = 0700);

// Makes the folder at path and each missing parent, every one of them new
// (an existing folder on the way is used as it is: the user named it). True
// when path is a folder at the end; false with errno set otherwise.
[[nodiscard]] bool CreateMissingDirectories(const std::string& path, Access access,
                                            mode_t sourceMode = 0777);

// Whether a folder that already stands at path may be reused for private
// files: a real folder (not a link), owned by this user, that nobody else may
// enter, read or write. Its mode is never changed here. errno says why not
// (ELOOP a link, ENOTDIR not a folder, EPERM another's, EACCES open to others).
[[nodiscard]] bool IsOwnPrivateDirectory(const std::string& path);

// Test seam: while set, every successful creation above is reported (path,
// whether a folder, the mode given to it). Pass nullptr to stop.
using CreationObserver = std::function<void(const std::string& path, bool bFolder, mode_t mode)>;
void SetCreationObserver(CreationObserver observer);

}  // namespace platform
