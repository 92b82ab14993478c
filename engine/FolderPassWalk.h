// The pass over one folder, as FolderPass.cpp (one walk) and
// FolderPassJudged.cpp (a scope judged whole first) carry it out. Internal to
// the engine; see engine/FolderPass.h for what the passes do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/report/DocumentFields.h"
#include "engine/DuplicateKeys.h"
#include "engine/FolderPass.h"
#include "engine/FolderPassUnits.h"
#include "engine/keep/ScopeJudgement.h"
#include "platform/Text.h"

namespace folderpass {


// Open flags of the folder; when the first open fails the second is tried.
inline constexpr int kFolderOpenFlags = 0x10001;
// A mail source's messages carry the count of their bytes in the source:
// their size, for the keep rules and the size guard as for the review.
inline constexpr const char* kSourceSizeItem = report::kSourceBytesItem;

enum class Disposal { deleteNoStub, action };

struct FolderCounters {
  std::uint64_t found = 0;
  std::uint64_t duplicates = 0;
  std::uint64_t notSaved = 0;  // nothing increments it
};

inline std::u16string IdText(NOTEID id) {
  return platform::DecimalText(static_cast<std::int32_t>(id));
}

inline std::u16string StatusText(LNSTATUS status) {
  std::u16string text = platform::FromUtf8(LNGetErrorMessageText(status));
  return text.empty() ? u"Notes error " + platform::DecimalText(static_cast<std::int32_t>(status)) : text;
}

inline std::u16string CounterText(std::uint64_t value) {
  return platform::DecimalText(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

class FolderPass {
public:
  FolderPass(PassContext& ctx, Disposal disposal, LNViewFolder target, int action)
      : m_ctx(ctx), m_s(ctx.settings), m_disposal(disposal), m_target(std::move(target)),
        m_nAction(action) {}

  bool Run(NOTEID folderId);
  // The two phases of a pass over a scope judged whole (ctx.pScope).
  bool Judge(NOTEID folderId);
  bool RunJudged(const ScopeJudgement::FolderSlot& slot);

private:
  using EntryLoop = std::function<void(const LNViewFolder& folder, BatchCommit& batch)>;
  bool Walk(NOTEID folderId, const EntryLoop& loop);
  bool Running() const { return m_s.m_bRunning.load() != 0; }
  enum class EntryOpen { none, unopened, opened };
  EntryOpen OpenEntry(const LNViewFolder& folder, LNINT i, LNMailMessage& mail);
  void HandleEntry(const LNViewFolder& folder, LNINT i, BatchCommit& batch);
  void TellProgress(NOTEID id);
  void EntryFailed(LNMailMessage& mail);
  enum class KeyResult { skip, none, keyed };
  // The document's key digest into digest; skip (the document closed) when
  // it is not judged at all: its group is off, it is outside the date limit,
  // or its key cannot be composed.
  KeyResult ComposeKey(LNMailMessage& mail, DocumentKind kind, KeyDigest& digest);
  void JudgeEntry(const LNViewFolder& folder, LNINT i);
  ScopeJudgement::Document RuleFields(const LNMailMessage& mail, DocumentKind kind, NOTEID id) const;
  void HandleJudged(std::size_t i, BatchCommit& batch);
  void WriteRow(const std::u16string& text);
  void LogKept(NOTEID id, const std::u16string& form);
  void Dispose(LNMailMessage& doc, NOTEID id, NOTEID keptId);
  bool CopyToTarget(LNMailMessage& doc, NOTEID id, bool bDeleteOriginal);
  [[nodiscard]] bool Journal(NOTEID id, NOTEID copyId = 0);
  [[nodiscard]] bool SyncJournal();
  void JournalFailed();
  void EndOfFolder(LNViewFolder& folder);
  void ReportIncomplete(const std::u16string& error);
  void CloseAfterFailure(LNMailMessage& mail);

  PassContext& m_ctx;
  RunSettings& m_s;
  Disposal m_disposal;
  LNViewFolder m_target;
  int m_nAction;
  FolderCounters m_counters;
  LNDocument m_doc;  // reused for every entry
  std::string m_strKey;  // the key as its digest reads it
  bool m_bBatchOpen = false;  // the disposal being made joins a batch transaction
  // The first error that made an entry unreadable, and how many were.
  std::u16string m_strEntryError;
  std::uint64_t m_nUnreadEntries = 0;
};

}  // namespace folderpass
