#include "lnapi/html/HtmlApi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "lnapi/CoreHandles.h"
#include "lnapi/html/HtmlRender.h"

namespace {

using lnapi::html::ReferenceData;
using lnapi::html::RenderedHtml;

struct Converter {
  std::vector<std::string> vecOptions;
  bool bConverted = false;
  RenderedHtml content;  // a picture's bytes are one piece without references
  std::string strTextCache;
  bool bTextValid = false;

  const std::string& Text() {
    if (!bTextValid) {
      strTextCache = content.vecPieces.front();
      for (std::size_t i = 0; i < content.vecRefs.size(); ++i) {
        strTextCache += lnapi::html::EscapeHtml(content.vecRefs[i].strText);
        strTextCache += content.vecPieces[i + 1];
      }
      bTextValid = true;
    }
    return strTextCache;
  }
  void SetContent(RenderedHtml rendered) {
    content = std::move(rendered);
    bConverted = true;
    bTextValid = false;
  }
  bool HasOption(const char* option) const {
    return std::find(vecOptions.begin(), vecOptions.end(), option) != vecOptions.end();
  }
};

// A reference copied into memory of its own; the locked view points into it.
struct ReferenceBlock {
  ReferenceData data;
  std::vector<HTMLAPI_URLTARGETCOMPONENT> vecComponents;
  HTMLAPIReference reference;
  int nLocks = 0;
};

struct Service {
  std::mutex mutex;
  int nStarts = 0;
  std::map<HTMLHANDLE, std::unique_ptr<Converter>> converters;
  std::map<MEMHANDLE, std::unique_ptr<ReferenceBlock>> memory;
};

Service& TheService() {
  static Service service;
  return service;
}

// The converter behind h, or null. Call with the mutex held.
Converter* Find(Service& s, HTMLHANDLE h) {
  const auto it = s.converters.find(h);
  return it == s.converters.end() ? nullptr : it->second.get();
}

constexpr STATUS Status(LNSTATUS status) { return static_cast<STATUS>(status); }

std::unique_ptr<ReferenceBlock> CopyReference(const ReferenceData& data) {
  auto block = std::make_unique<ReferenceBlock>();
  block->data = data;
  for (const auto& [type, value] : block->data.vecTargets)
    block->vecComponents.push_back({type, value.c_str()});
  block->reference.RefType = block->data.wType;
  block->reference.pRefText = block->data.strText.c_str();
  block->reference.NumTargets = static_cast<DWORD>(block->vecComponents.size());
  block->reference.pTargets = block->vecComponents.empty() ? nullptr : block->vecComponents.data();
  return block;
}

}  // namespace

STATUS HTMLProcessInitialize() {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  ++s.nStarts;
  return 0;
}

STATUS HTMLProcessTerminate() {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  if (s.nStarts == 0) return Status(LNERR_NOT_INITIALIZED);
  // The last end of the service takes whatever its users left behind.
  if (--s.nStarts == 0) {
    s.converters.clear();
    s.memory.clear();
  }
  return 0;
}

STATUS HTMLCreateConverter(HTMLHANDLE* phHTML) {
  if (phHTML == nullptr) return Status(LNERR_BAD_ARGUMENT);
  *phHTML = 0;
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  if (s.nStarts == 0) return Status(LNERR_NOT_INITIALIZED);
  const HTMLHANDLE h = lnapi::core::NewHandleNumber();
  s.converters.emplace(h, std::make_unique<Converter>());
  *phHTML = h;
  return 0;
}

STATUS HTMLDestroyConverter(HTMLHANDLE hHTML) {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  return s.converters.erase(hHTML) == 1 ? 0 : Status(LNERR_INVALID_HANDLE);
}

STATUS HTMLSetHTMLOptions(HTMLHANDLE hHTML, const char* const* optionList) {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  if (optionList == nullptr) return Status(LNERR_BAD_ARGUMENT);
  c->vecOptions.clear();
  for (const char* const* p = optionList; *p != nullptr; ++p) c->vecOptions.emplace_back(*p);
  return 0;
}

STATUS HTMLConvertNote(HTMLHANDLE hHTML, DHANDLE hDB, DHANDLE hNote, DWORD numArgs, void* pArgs) {
  if (numArgs != 0 || pArgs != nullptr) return Status(LNERR_BAD_ARGUMENT);
  // The note is read outside the service's lock: the store has locks of its own.
  std::vector<lnapi::core::NoteItem> items;
  const LNSTATUS read = lnapi::core::ReadNoteItems(hDB, hNote, &items);
  if (read != LNNOERROR) return Status(LNERR_INVALID_HANDLE);
  const NOTEID noteId = lnapi::core::GetNoteIdOfHandle(hNote).value_or(0);
  Service& s = TheService();
  lnapi::html::RenderOptions options;
  {
    std::lock_guard lock(s.mutex);
    const Converter* c = Find(s, hHTML);
    if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
    options.bExpandSections = c->HasOption("ForceSectionExpand=1");
    options.bAllTableRows = c->HasOption("RowAtATimeTableAlt=1");
  }
  // The rendering, the long part, holds no lock: converters of other
  // threads (databases judged side by side) need not wait for it.
  RenderedHtml rendered;
  try {
    rendered = lnapi::html::RenderNote(items, noteId, options);
  } catch (LNSTATUS) {
    return Status(LNERR_BAD_DATA);
  } catch (const std::bad_alloc&) {
    return Status(LNERR_BAD_DATA);
  }
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);  // destroyed meanwhile by a careless caller: nothing to set
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  c->SetContent(std::move(rendered));
  return 0;
}

STATUS HTMLGetProperty(HTMLHANDLE hHTML, DWORD propertyType, void* pProperty) {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  if (pProperty == nullptr) return Status(LNERR_BAD_ARGUMENT);
  if (!c->bConverted) return Status(LNERR_NOT_OPEN);
  DWORD value = 0;
  if (propertyType == HTMLAPI_PROP_TEXTLENGTH)
    value = static_cast<DWORD>(c->Text().size());
  else if (propertyType == HTMLAPI_PROP_NUMREFS)
    value = static_cast<DWORD>(c->content.vecRefs.size());
  else
    return Status(LNERR_BAD_ARGUMENT);
  std::memcpy(pProperty, &value, sizeof value);
  return 0;
}

STATUS HTMLGetText(HTMLHANDLE hHTML, DWORD startingOffset, DWORD* pTextLength, char* pText) {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  if (pTextLength == nullptr || (pText == nullptr && *pTextLength != 0)) return Status(LNERR_BAD_ARGUMENT);
  if (!c->bConverted) return Status(LNERR_NOT_OPEN);
  const std::string& text = c->Text();
  if (startingOffset > text.size()) return Status(LNERR_BAD_ARGUMENT);
  const std::size_t n = std::min<std::size_t>(*pTextLength, text.size() - startingOffset);
  if (n > 0) std::memcpy(pText, text.data() + startingOffset, n);
  *pTextLength = static_cast<DWORD>(n);
  return 0;
}

STATUS HTMLGetReference(HTMLHANDLE hHTML, DWORD index, MEMHANDLE* phRef) {
  if (phRef == nullptr) return Status(LNERR_BAD_ARGUMENT);
  *phRef = 0;
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  if (index >= c->content.vecRefs.size()) return Status(LNERR_NOT_FOUND);
  const MEMHANDLE h = lnapi::core::NewHandleNumber();
  s.memory.emplace(h, CopyReference(c->content.vecRefs[index]));
  *phRef = h;
  return 0;
}

STATUS HTMLLockAndFixupReference(MEMHANDLE hRef, HTMLAPIReference** ppRef) {
  if (ppRef == nullptr) return Status(LNERR_BAD_ARGUMENT);
  *ppRef = nullptr;
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  const auto it = s.memory.find(hRef);
  if (it == s.memory.end()) return Status(LNERR_INVALID_HANDLE);
  ++it->second->nLocks;
  *ppRef = &it->second->reference;
  return 0;
}

STATUS HTMLConvertImage(HTMLHANDLE hHTML, DHANDLE hDB, DHANDLE hNote, const char* pszItemName,
                        DWORD itemIndex, DWORD itemOffset) {
  if (pszItemName == nullptr) return Status(LNERR_BAD_ARGUMENT);
  std::vector<lnapi::core::NoteItem> items;
  if (lnapi::core::ReadNoteItems(hDB, hNote, &items) != LNNOERROR) return Status(LNERR_INVALID_HANDLE);
  RenderedHtml picture;
  try {
    const LNSTATUS found =
        lnapi::html::FindPicture(items, pszItemName, itemIndex, itemOffset, &picture.vecPieces.front());
    if (found != LNNOERROR) return Status(found);
  } catch (LNSTATUS) {
    return Status(LNERR_BAD_DATA);
  }
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  c->SetContent(std::move(picture));
  return 0;
}

STATUS HTMLSetReferenceText(HTMLHANDLE hHTML, DWORD index, const char* pszRefText) {
  if (pszRefText == nullptr) return Status(LNERR_BAD_ARGUMENT);
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  Converter* c = Find(s, hHTML);
  if (c == nullptr) return Status(LNERR_INVALID_HANDLE);
  if (index >= c->content.vecRefs.size()) return Status(LNERR_NOT_FOUND);
  c->content.vecRefs[index].strText = pszRefText;
  c->bTextValid = false;
  return 0;
}

STATUS OSUnlock(MEMHANDLE hMem) {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  const auto it = s.memory.find(hMem);
  if (it == s.memory.end()) return Status(LNERR_INVALID_HANDLE);
  if (it->second->nLocks == 0) return Status(LNERR_BAD_ARGUMENT);
  --it->second->nLocks;
  return 0;
}

STATUS OSMemFree(MEMHANDLE hMem) {
  Service& s = TheService();
  std::lock_guard lock(s.mutex);
  return s.memory.erase(hMem) == 1 ? 0 : Status(LNERR_INVALID_HANDLE);
}
