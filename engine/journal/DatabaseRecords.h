// The "nsf" record kind: one disposal of a document in a Notes database by
// a run, with what reverses it. Body (JournalFile.h encodings):
//
//   u8 action (0 delete, 1 trash, 2 move, 3 copy), u32 note id,
//   u32 id of the copy filed (0 none), u32 sub folder id (0 none),
//   u32 folder count, u32 id of each view or folder that held the document,
//   u8 1 when a whole copy follows, else 0; the copy: text created,
//   text modified, u32 item count, per item text name, u16 type, text value
//
// A whole copy is kept for every document the run removes for good: delete,
// move (the original goes once its copy is filed), and trash when the
// database has soft deletions off. A document moved to the trash with soft
// deletions on is still in the database and needs none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/journal/RecordKinds.h"
#include "lnapi/LNNotes.h"

namespace journal {

inline constexpr std::string_view kDatabaseKind = "nsf";

struct DatabaseDisposal {
  int nAction = 0;
  NOTEID dwNoteId = 0;
  NOTEID dwCopyId = 0;
  NOTEID dwTargetFolder = 0;
  std::vector<NOTEID> vecFolders;
  std::optional<LNNoteImage> image;
};

std::string EncodeDisposal(const DatabaseDisposal& disposal);
// nullopt when the body does not have the layout above.
std::optional<DatabaseDisposal> DecodeDisposal(std::string_view body);

// The undo of the kind (see RecordKinds.h): opens the database at target
// and reverses the records in transactions of a few hundred, each record
// whole or not at all. A database that does not open gets one
// "Not restored" row per record, naming the reason.
void UndoDatabaseRecords(const std::string& target, const std::vector<const JournalRecord*>& newestFirst,
                         UndoSession& session);

}  // namespace journal
