// Where imported messages come from, and which folder each goes to.
//
// A SOURCE is
// - an mbox file (first line "From "): every message, to the folder named by
//   the file (without an .mbox or .mbx extension);
// - a maildir (a directory with cur/ or new/): its own messages to ($Inbox),
//   its sub-maildirs to nested folders: Maildir++ ".Projects.2019" and plain
//   "Projects/2019" both give "Projects\2019";
// - a single message file (.eml or any file that is no mbox): to ($Inbox);
// - a directory of .eml and mbox files: the .eml files to the folder named
//   after the directory (and its sub-directories nested below it), each mbox
//   to a folder named by its path below the directory.
// A folder named Inbox or INBOX (any letter case) is ($Inbox).
//
// Not thread-safe per call; holds no state between calls.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mail/MailDoc.h"

namespace mailio {

inline constexpr const char* kInboxFolder = "($Inbox)";

struct SourceMessage {
  std::string file;    // the file the message came from (for messages to the user)
  std::size_t number;  // its place in that file, from 1
  std::string folder;  // the Notes folder it goes to ("Projects\2019", "($Inbox)")
  std::string bytes;   // the message; empty when unreadable (error set)
  std::string error;   // set when the message could not even be read
  // When it arrived, as far as the container tells (mbox From_ line, maildir
  // file name, file time): the created time of a message without a Date.
  std::optional<LocalTime> arrival;
  std::string fromLine;  // the mbox From_ line it came with, without its line end; else empty
};

// Calls onMessage for every message of source, in file order. Returns false
// with *error when source itself cannot be read (missing, no permission).
[[nodiscard]] bool ForEachSourceMessage(const std::filesystem::path& source,
                                        const std::function<void(SourceMessage&&)>& onMessage,
                                        std::string* error);

// When a message file arrived: the delivery time at the start of a maildir
// file name, else the file's modification time.
std::optional<LocalTime> FileArrival(const std::filesystem::path& file);

// The Notes folder name for a file-system folder path of levels.
std::string FolderNameFromLevels(const std::vector<std::string>& levels);

// A maildir file name without its ":2,..." flags: what stays of the name when
// a mail client marks the message (new/ to cur/, other flags).
std::string MaildirBaseName(const std::string& fileName);

// The message files of a maildir judged as one source: the root's own, then
// each Maildir++ sub folder's (".A.B" is the folder "A\B"), each folder's
// new/ and cur/ together in base-name order.
struct MaildirListing {
  struct File {
    std::string folder;
    std::filesystem::path file;
  };
  std::vector<File> vecFiles;
  // Sub folders that are symbolic links, left out: a run never changes files
  // outside the maildir it was given.
  std::vector<std::string> vecLinkedFolders;
  // The first entry of a new/ or cur/ that is no regular file (after a
  // link): a FIFO, a device, a socket, a folder. Empty when there is none.
  std::string strNotRegular;
};
MaildirListing ListMaildir(const std::filesystem::path& root);

// Where a maildir message file is now: at its own name, or else the file of
// new/ or cur/ beside it with the same base name (a client renamed it).
std::optional<std::filesystem::path> FindMaildirMessage(const std::filesystem::path& file);

// Reads a message file whole, through a link, never waiting on a FIFO or a
// device (refused: "not a regular file"). A file that a mail client renamed
// since it was listed is found again by its base name; *file then names it.
[[nodiscard]] bool ReadMaildirMessage(std::filesystem::path* file, std::string* bytes, std::string* error);

}  // namespace mailio
