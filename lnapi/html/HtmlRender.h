// The HTML rendering behind the converter of HtmlApi.h: a note's rich-text
// items to HTML text with reference slots. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lnapi/CoreHandles.h"
#include "lnapi/LNNotes.h"

namespace lnapi::html {

// A reference as the converter keeps it: its type, the text that stands for
// it in the HTML (changeable), and its target components (type, value).
struct ReferenceData {
  WORD wType = 0;
  std::string strText;
  std::vector<std::pair<WORD, std::string>> vecTargets;
};

// The rendered note: literal text pieces with reference slots between them.
// pieces.size() == refs.size() + 1; the text is pieces[0] + ref 0 + pieces[1]
// + ref 1 + ... + pieces[n].
struct RenderedHtml {
  std::vector<std::string> vecPieces{std::string()};
  std::vector<ReferenceData> vecRefs;
};

struct RenderOptions {
  bool bExpandSections = false;  // "ForceSectionExpand=1"
  bool bAllTableRows = false;    // "RowAtATimeTableAlt=1"
};

// Renders every rich-text item of items, in item order. Throws an LNSTATUS
// (LNERR_BAD_DATA) when a rich-text value is malformed.
RenderedHtml RenderNote(const std::vector<core::NoteItem>& items, NOTEID noteId,
                        const RenderOptions& options);

// The GIF bytes of the picture record at offset of the index-th item named
// name (letter case ignored, as Notes does). LNERR_NOT_FOUND when there is no
// such item or no picture starts there; LNERR_BAD_DATA for a malformed value.
LNSTATUS FindPicture(const std::vector<core::NoteItem>& items, const std::string& name,
                     std::uint32_t index, std::uint32_t offset, std::string* gif);

// A reference's text as it stands in an HTML attribute: & < > " escaped.
std::string EscapeHtml(std::string_view text);

}  // namespace lnapi::html
