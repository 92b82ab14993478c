#include "lnapi/CoreHandles.h"

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "lnapi/Internal.h"

namespace lnapi {

namespace {

using Target = std::variant<std::weak_ptr<DatabaseState>, std::weak_ptr<NoteState>>;

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<DHANDLE, Target> targets;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

std::atomic<DHANDLE> g_nextHandle{0x100};

DHANDLE Register(Target target) {
  const DHANDLE handle = core::NewHandleNumber();
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.targets.emplace(handle, std::move(target));
  return handle;
}

template <typename T>
std::shared_ptr<T> Lookup(DHANDLE handle) {
  if (!handle) return nullptr;
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.targets.find(handle);
  if (it == table.targets.end()) return nullptr;
  const auto* weak = std::get_if<std::weak_ptr<T>>(&it->second);
  return weak ? weak->lock() : nullptr;
}

}  // namespace

DHANDLE RegisterDatabaseHandle(const std::shared_ptr<DatabaseState>& db) {
  return Register(std::weak_ptr<DatabaseState>(db));
}
DHANDLE RegisterNoteHandle(const std::shared_ptr<NoteState>& note) {
  return Register(std::weak_ptr<NoteState>(note));
}

void ReleaseHandle(DHANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.targets.erase(handle);
}

namespace core {

DHANDLE NewHandleNumber() {
  DHANDLE handle = g_nextHandle.fetch_add(1);
  while (handle == 0) handle = g_nextHandle.fetch_add(1);  // after 2^32 handles
  return handle;
}

std::optional<std::vector<NoteItem>> GetNoteItems(DHANDLE hDatabase, DHANDLE hNote) {
  const auto db = Lookup<DatabaseState>(hDatabase);
  const auto note = Lookup<NoteState>(hNote);
  if (!db || !note || note->m_pDb != db || !note->m_bOpen || !db->IsOpen()) return std::nullopt;
  std::vector<NoteItem> items;
  items.reserve(note->m_vecItems.size());
  for (const auto& item : note->m_vecItems) items.push_back({item.strName, item.wType, item.value});
  return items;
}

LNSTATUS ReadNoteItems(DHANDLE hDatabase, DHANDLE hNote, std::vector<NoteItem>* items) {
  if (!items) return LNERR_BAD_ARGUMENT;
  auto found = GetNoteItems(hDatabase, hNote);
  if (!found) {
    items->clear();
    return LNERR_INVALID_HANDLE;
  }
  *items = std::move(*found);
  return LNNOERROR;
}

std::optional<NOTEID> GetNoteIdOfHandle(DHANDLE hNote) {
  const auto note = Lookup<NoteState>(hNote);
  if (!note || !note->m_bOpen) return std::nullopt;
  return note->m_dwId;
}

}  // namespace core
}  // namespace lnapi
