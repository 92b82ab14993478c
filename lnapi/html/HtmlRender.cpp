#include "lnapi/html/HtmlRender.h"

#include <algorithm>
#include <cstdio>

#include "lnapi/RichText.h"
#include "lnapi/html/HtmlApi.h"

namespace lnapi::html {

namespace {

using richtext::Record;
using richtext::RecordKind;

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
  return text;
}

class Renderer {
public:
  Renderer(NOTEID noteId, const RenderOptions& options)
      : m_strNoteId(Hex(noteId)), m_options(options) {}

  void Item(const std::string& name, std::uint32_t index, const std::vector<Record>& records) {
    m_strItemName = name;
    m_nItemIndex = index;
    for (const Record& r : records) Render(r);
  }
  void Text(std::string_view text) { m_out.vecPieces.back().append(text); }
  RenderedHtml Take() { return std::move(m_out); }

private:
  void Reference(ReferenceData ref) {
    m_out.vecRefs.push_back(std::move(ref));
    m_out.vecPieces.emplace_back();
  }
  void Render(const Record& r);
  void Paragraph(const Record& r);
  void Table(const Record& r);
  void Picture(const Record& r);
  void AttachmentIcon(const Record& r);

  std::string m_strNoteId;
  RenderOptions m_options;
  std::string m_strItemName;
  std::uint32_t m_nItemIndex = 0;
  RenderedHtml m_out;
};

void Renderer::Render(const Record& r) {
  switch (r.kind) {
    case RecordKind::paragraph: Paragraph(r); break;
    case RecordKind::lineBreak: Text("<br>\n"); break;
    case RecordKind::picture: Picture(r); break;
    case RecordKind::table: Table(r); break;
    case RecordKind::section:
      Text("<div class=\"section\">\n<p><b>" + EscapeHtml(r.strTitle) + "</b></p>\n");
      // A collapsed section shows its title only, as a reader would see it.
      if (m_options.bExpandSections)
        for (const Record& inner : r.vecBody) Render(inner);
      Text("</div>\n");
      break;
    case RecordKind::link:
      Text("<a href=\"");
      Reference({HTMLAPI_REF_HREF, r.strUrl, {}});
      Text("\">" + EscapeHtml(r.strText) + "</a>\n");
      break;
    case RecordKind::attachmentIcon: AttachmentIcon(r); break;
  }
}

void Renderer::Paragraph(const Record& r) {
  Text("<p>");
  for (const richtext::Run& run : r.vecRuns) {
    std::string open, close;
    if (run.bBold) open += "<b>", close = "</b>" + close;
    if (run.bItalic) open += "<i>", close = "</i>" + close;
    if (run.bUnderline) open += "<u>", close = "</u>" + close;
    Text(open + EscapeHtml(run.strText) + close);
  }
  Text("</p>\n");
}

void Renderer::Table(const Record& r) {
  Text("<table border=\"1\">\n");
  // A row-at-a-time table shows one row unless every row is asked for.
  const std::size_t rows = m_options.bAllTableRows ? r.vecRows.size() : std::min<std::size_t>(1, r.vecRows.size());
  for (std::size_t i = 0; i < rows; ++i) {
    Text("<tr>");
    for (const std::string& cell : r.vecRows[i]) Text("<td>" + EscapeHtml(cell) + "</td>");
    Text("</tr>\n");
  }
  Text("</table>\n");
}

void Renderer::Picture(const Record& r) {
  const std::string offset = std::to_string(m_nItemIndex) + "." + Hex(r.nOffset);
  ReferenceData ref;
  ref.wType = HTMLAPI_REF_IMG;
  ref.strText = "/" + m_strNoteId + "/" + m_strItemName + "/" + offset +
                "?OpenElement&FieldElemFormat=gif";
  ref.vecTargets = {{UAT_Document, m_strNoteId}, {UAT_Field, m_strItemName}, {UAT_FieldOffset, offset}};
  Text("<img src=\"");
  Reference(std::move(ref));
  Text("\" width=\"" + std::to_string(r.nWidth) + "\" height=\"" + std::to_string(r.nHeight) + "\">\n");
}

void Renderer::AttachmentIcon(const Record& r) {
  ReferenceData ref;
  ref.wType = HTMLAPI_REF_IMG;
  ref.strText = "/" + m_strNoteId + "/$FILE/" + r.strFileName + "?OpenElement&FieldElemFormat=gif";
  ref.vecTargets = {{UAT_Document, m_strNoteId}, {UAT_Field, "$FILE"}, {UAT_Filename, r.strFileName}};
  Text("<img src=\"");
  Reference(std::move(ref));
  Text("\" alt=\"" + EscapeHtml(r.strFileName) + "\">\n");
}

std::vector<Record> DecodeOrThrow(const std::string& value) {
  try {
    return richtext::Decode(value);
  } catch (LNSTATUS) {
    throw static_cast<LNSTATUS>(LNERR_BAD_DATA);
  }
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

RenderedHtml RenderNote(const std::vector<core::NoteItem>& items, NOTEID noteId,
                        const RenderOptions& options) {
  Renderer renderer(noteId, options);
  renderer.Text("<html>\n<body text=\"#000000\" bgcolor=\"#FFFFFF\">\n");
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].wType != TYPE_COMPOSITE) continue;
    std::uint32_t index = 0;  // items of the same name before this one
    for (std::size_t j = 0; j < i; ++j)
      if (SameNameIgnoringCase(items[j].strName, items[i].strName)) ++index;
    renderer.Item(items[i].strName, index, DecodeOrThrow(items[i].value));
  }
  renderer.Text("</body>\n</html>\n");
  return renderer.Take();
}

LNSTATUS FindPicture(const std::vector<core::NoteItem>& items, const std::string& name,
                     std::uint32_t index, std::uint32_t offset, std::string* gif) {
  std::uint32_t seen = 0;
  for (const core::NoteItem& item : items) {
    if (!SameNameIgnoringCase(item.strName, name)) continue;
    if (seen++ != index) continue;
    if (item.wType != TYPE_COMPOSITE) return LNERR_NOT_FOUND;
    const std::vector<Record> records = DecodeOrThrow(item.value);
    for (const richtext::PictureRef& picture : richtext::ListPictures(records)) {
      if (picture.nOffset == offset && picture.pRecord != nullptr) {
        *gif = picture.pRecord->gif;
        return LNNOERROR;
      }
    }
    return LNERR_NOT_FOUND;
  }
  return LNERR_NOT_FOUND;
}

}  // namespace lnapi::html
