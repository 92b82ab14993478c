#include "engine/journal/RecordKinds.h"

#include <map>
#include <mutex>

#include "engine/journal/DatabaseRecords.h"
#include "platform/Text.h"

namespace journal {

namespace {

struct Registry {
  // The database kind is always known; other modules add theirs.
  Registry() { kinds.emplace(std::string(kDatabaseKind), &UndoDatabaseRecords); }
  std::mutex mutex;
  std::map<std::string, UndoRecords> kinds;
};

Registry& Kinds() {
  static Registry registry;
  return registry;
}

UndoRecords FindKind(const std::string& kind) {
  Registry& r = Kinds();
  std::lock_guard lock(r.mutex);
  const auto it = r.kinds.find(kind);
  return it == r.kinds.end() ? UndoRecords() : it->second;
}

}  // namespace

void RegisterRecordKind(const std::string& kind, UndoRecords undo) {
  Registry& r = Kinds();
  std::lock_guard lock(r.mutex);
  r.kinds[kind] = std::move(undo);
}

void UndoSession::Advance() { m_out.SetProgress(++m_nDone, m_nTotal); }

void UndoSession::Restored(std::size_t nDisposals) {
  m_nRestored += nDisposals;
  Advance();
}

void UndoSession::AlreadyInPlace() { Advance(); }

void UndoSession::NotRestored(const std::u16string& what, const std::u16string& reason, bool bEndsRecord) {
  m_bComplete = false;
  m_out.AddRow(std::u16string(kNotRestoredRow) + what + u" (" + reason + u")");
  if (bEndsRecord) Advance();
}

std::u16string RestoredRow(std::size_t nRestored) {
  return u"Restored: " + platform::DecimalText(static_cast<long long>(nRestored)) + u" documents";
}

UndoResult UndoJournal(const std::string& path, UndoOutput& out) {
  UndoResult result;
  std::string error;
  const auto contents = ReadJournal(path, &error);
  if (!contents) {
    result.status = UndoStatus::notAJournal;
    result.strError = "Cannot undo " + path + ": " + error;
    return result;
  }
  const auto& records = contents->vecRecords;
  UndoSession session(out, records.size());
  out.SetProgress(0, records.size());
  std::string lastTarget;
  // Newest first, in groups of consecutive records of one kind and target,
  // so that a kind opens its database once per group.
  for (std::size_t end = records.size(); end > 0;) {
    std::size_t begin = end - 1;
    while (begin > 0 && records[begin - 1].strKind == records[end - 1].strKind &&
           records[begin - 1].strTarget == records[end - 1].strTarget)
      --begin;
    std::vector<const JournalRecord*> group;
    for (std::size_t i = end; i > begin; --i) group.push_back(&records[i - 1]);
    const JournalRecord& first = *group.front();
    if (first.strTarget != lastTarget || end == records.size())
      out.AddRow(std::u16string(kUndoingRow) + platform::FromUtf8(first.strTarget));
    lastTarget = first.strTarget;
    if (const UndoRecords undo = FindKind(first.strKind)) {
      undo(first.strTarget, group, session);
    } else {
      for (std::size_t i = 0; i < group.size(); ++i)
        session.NotRestored(platform::FromUtf8(first.strKind),
                            u"this program cannot undo records of this kind");
    }
    end = begin;
  }
  out.AddRow(RestoredRow(session.RestoredCount()));
  result.nRestored = session.RestoredCount();
  result.status = session.Complete() ? UndoStatus::complete : UndoStatus::incomplete;
  return result;
}

}  // namespace journal
