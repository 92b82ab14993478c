#include "engine/journal/RecordKinds.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "engine/journal/DatabaseRecords.h"
#include "engine/journal/RunJournal.h"
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

void UndoSession::BeginGroup(std::vector<std::uint64_t> offsets) {
  m_vecGroup = std::move(offsets);
  m_nInGroup = 0;
  m_bRecordFailed = false;
  m_vecReversed.clear();
}

void UndoSession::Advance(bool bReversed) {
  if (bReversed && !m_bRecordFailed && m_nInGroup < m_vecGroup.size()) m_vecReversed.push_back(m_vecGroup[m_nInGroup]);
  ++m_nInGroup;
  m_bRecordFailed = false;
  m_out.SetProgress(++m_nDone, m_nTotal);
}

void UndoSession::Restored(std::size_t nDisposals) {
  m_nRestored += nDisposals;
  Advance(true);
}

void UndoSession::AlreadyInPlace() { Advance(true); }

void UndoSession::NotRestored(const std::u16string& what, const std::u16string& reason, bool bEndsRecord) {
  m_bComplete = false;
  m_bRecordFailed = true;
  m_out.AddRow(std::u16string(kNotRestoredRow) + what + u" (" + reason + u")");
  if (bEndsRecord) Advance(false);
}

std::u16string RestoredRow(std::size_t nRestored) {
  return u"Restored: " + platform::DecimalText(static_cast<long long>(nRestored)) + u" documents";
}

std::u16string JournalDamagedRow(const std::string& path, std::uint64_t nAt) {
  return u"Journal damaged: " + platform::FromUtf8(path) + u" (at byte " +
         platform::DecimalText(static_cast<long long>(nAt)) + u")";
}

namespace {

// The offsets that former undos recorded as reversed.
std::set<std::uint64_t> ReversedBefore(const JournalContents& contents) {
  std::set<std::uint64_t> reversed;
  for (const JournalRecord& record : contents.vecRecords) {
    if (record.strKind != kUndoneKind) continue;
    BodyReader reader(record.body);
    std::vector<std::uint64_t> offsets(reader.U32());
    for (std::uint64_t& at : offsets) {
      at = reader.U32();
      at |= static_cast<std::uint64_t>(reader.U32()) << 32;
    }
    if (!reader.Failed() && reader.AtEnd()) reversed.insert(offsets.begin(), offsets.end());
  }
  return reversed;
}

JournalRecord UndoneRecord(const std::vector<std::uint64_t>& offsets) {
  BodyWriter body;
  body.U32(static_cast<std::uint32_t>(offsets.size()));
  for (std::uint64_t at : offsets)
    body.U32(static_cast<std::uint32_t>(at & 0xFFFFFFFFu)).U32(static_cast<std::uint32_t>(at >> 32));
  return {std::string(kUndoneKind), {}, body.Take()};
}

}  // namespace

UndoResult UndoJournal(const std::string& path, UndoOutput& out,
                       const std::function<bool()>& stopRequested) {
  UndoResult result;
  // Held while undo works: no run appends meanwhile, and undo's own records
  // go after the last whole one. A journal that cannot be written (another
  // user's, a read-only disk) is still undone, and said not to be written.
  std::string error;
  bool bBusy = false;
  std::unique_ptr<JournalWriter> writer = JournalWriter::OpenExisting(path, &error, &bBusy);
  if (bBusy) {
    result.status = UndoStatus::incomplete;
    result.strError = "Cannot undo " + path + ": " + error;
    return result;
  }
  const auto contents = ReadJournal(path, &error);
  if (!contents) {
    result.status = UndoStatus::notAJournal;
    result.strError = "Cannot undo " + path + ": " + error;
    return result;
  }
  for (std::uint64_t at : contents->vecDamage) out.AddRow(JournalDamagedRow(path, at));
  const auto& records = contents->vecRecords;
  const std::set<std::uint64_t> reversed = ReversedBefore(*contents);
  std::vector<std::size_t> disposals;  // indices of the records to reverse, oldest first
  std::size_t nPending = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].strKind == kUndoneKind) continue;
    disposals.push_back(i);
    nPending += reversed.count(contents->vecOffsets[i]) == 0;
  }
  UndoSession session(out, nPending);
  out.SetProgress(0, nPending);
  bool bNotWritten = false;
  std::string lastTarget;
  bool bStopped = false;
  // Newest first, in groups of consecutive records of one kind and target,
  // so that a kind opens its database once per group.
  for (std::size_t end = disposals.size(); end > 0;) {
    if (stopRequested && stopRequested()) {
      bStopped = true;
      break;
    }
    const JournalRecord& newest = records[disposals[end - 1]];
    std::size_t begin = end - 1;
    while (begin > 0 && records[disposals[begin - 1]].strKind == newest.strKind &&
           records[disposals[begin - 1]].strTarget == newest.strTarget)
      --begin;
    std::vector<const JournalRecord*> group;
    std::vector<std::uint64_t> offsets;
    for (std::size_t k = end; k > begin; --k) {
      const std::size_t i = disposals[k - 1];
      if (reversed.count(contents->vecOffsets[i])) continue;
      group.push_back(&records[i]);
      offsets.push_back(contents->vecOffsets[i]);
    }
    if (newest.strTarget != lastTarget || end == disposals.size())
      out.AddRow(std::u16string(kUndoingRow) + platform::FromUtf8(newest.strTarget));
    lastTarget = newest.strTarget;
    end = begin;
    if (group.empty()) continue;  // reversed by a former undo
    session.BeginGroup(std::move(offsets));
    if (const UndoRecords undo = FindKind(newest.strKind)) {
      undo(newest.strTarget, group, session);
    } else {
      for (std::size_t i = 0; i < group.size(); ++i)
        session.NotRestored(platform::FromUtf8(newest.strKind),
                            u"this program cannot undo records of this kind");
    }
    if (session.Reversed().empty()) continue;
    // Written once the group's changes are safe; killed before, the next
    // undo finds them in place.
    if (!writer || !writer->Append(UndoneRecord(session.Reversed())) || !writer->Sync()) {
      bNotWritten = true;
      writer.reset();
    }
  }
  if (bNotWritten) out.AddRow(std::u16string(kJournalNotWrittenRow) + platform::FromUtf8(path));
  out.AddRow(RestoredRow(session.RestoredCount()));
  result.nRestored = session.RestoredCount();
  const bool bWhole = session.Complete() && contents->vecDamage.empty() && !bNotWritten && !bStopped;
  result.status = bWhole ? UndoStatus::complete : UndoStatus::incomplete;
  return result;
}

}  // namespace journal
