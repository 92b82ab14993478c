// Rich-text values from a damaged or hostile database: Decode either throws
// its status or gives records that encode back to the same bytes, and the
// HTML rendering of any value that decodes never fails otherwise.
#include <cstdlib>

#include "lnapi/RichText.h"
#include "lnapi/html/HtmlRender.h"

namespace rt = lnapi::richtext;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<rt::Record> records;
  try {
    records = rt::Decode(bytes);
  } catch (LNSTATUS) {
    return 0;
  }
  if (rt::Encode(records) != bytes) std::abort();
  const std::vector<lnapi::core::NoteItem> items = {{"Body", TYPE_COMPOSITE, std::string(bytes)}};
  for (bool expand : {false, true}) {
    try {
      (void)lnapi::html::RenderNote(items, 4, {expand, expand});
    } catch (LNSTATUS) {
      std::abort();  // the value decoded above, so rendering has no reason to refuse it
    }
  }
  return 0;
}
