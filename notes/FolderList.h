// The folder list: which views and folders of a database the system works
// on, in which order, with the note id and whether each had entries; and the
// kind of a folder by its name (the icon index in the folder tree).
//
// Used by the single-file page (to fill its tree) and by the multiple-file
// run (per database). Works on an open LNDatabase; call it on the thread that
// uses that database.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "notes/FolderRecord.h"

class LNDatabase;

// Optional progress of the listing (the single-file page's bar). Called on
// the listing's thread.
class FolderListProgress {
public:
  virtual ~FolderListProgress() = default;
  virtual void SetRange(int nLower, int nUpper) = 0;
  virtual void SetPos(int nPos) = 0;
  virtual void Hide() = 0;  // only when the listing completed
};

// Appends the records to dest (not emptied first) and returns the sum of the
// entry counts of the appended records, "($All)" left out. Folders are always
// taken; views only when their name is one of the special views and their
// type is 0. "($All)" comes last. Each record passes through curFolder (the
// run settings' staging record) on its way to dest.
//
// A Notes error ends the listing at once: what was appended stays, "($All)"
// is not appended, the total so far is returned and progress is not hidden.
// The caller works on what it has; pError (when given) gets the error's text,
// and stays empty when the listing completed, so the caller can say that the
// list is incomplete.
//
// pRunning, when given, is the run's Stop flag: once it reads 0 the listing
// ends after the folder in hand, as after an error but with no error text,
// since a stopped run is not a failed one. Listing a folder of a large
// database computes its entries, so a Stop must not wait for every folder.
std::uint64_t BuildFolderList(LNDatabase& db, std::vector<FolderRecord>& dest,
                              FolderRecord& curFolder, FolderListProgress* pProgress = nullptr,
                              std::u16string* pError = nullptr,
                              const std::atomic<std::uint8_t>* pRunning = nullptr);

// Icon index of a folder by its name: the first listed text it contains
// decides ("Junk E-mail" 14, "Inbox" 3, ... "Contacts" 11), else 10.
int FolderKindOfName(std::u16string_view name);

// The views taken although they are not folders (exact names).
bool IsSpecialViewName(std::u16string_view name);
