// Rich text: the value of a rich-text item (type TYPE_COMPOSITE) is a
// sequence of typed records - paragraphs of styled runs, line breaks,
// pictures (GIF bytes), tables, collapsible sections, links and attachment
// icons. This header encodes records to value bytes and decodes them back.
//
// Byte layout (integers little-endian): each record is
//   u8 kind, u32 payload length, payload
// and a string is u32 length then UTF-8 bytes. Payloads:
//   paragraph       u32 run count, per run: u8 style bits (1 bold, 2 italic,
//                   4 underline), string text
//   line break      empty
//   picture         u16 width, u16 height, u32 length, GIF bytes
//   table           u32 rows, per row: u32 cells, per cell: string
//   section         string title, then the body's records up to the end of
//                   the payload
//   link            string url, string text
//   attachment icon string file name
//
// Decode is meant for untrusted bytes: it never reads outside the input,
// allocates in proportion to the input, nests sections at most
// kMaxSectionDepth deep, and throws an LNSTATUS (base LNERR_BAD_DATA, with a
// text naming the offset) for anything that is not exactly this layout.
// Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lnapi/LNNotes.h"

namespace lnapi::richtext {

enum class RecordKind : std::uint8_t {
  paragraph = 1,
  lineBreak = 2,
  picture = 3,
  table = 4,
  section = 5,
  link = 6,
  attachmentIcon = 7,
};

struct Run {
  std::string strText;
  bool bBold = false;
  bool bItalic = false;
  bool bUnderline = false;
  bool operator==(const Run&) const = default;
};

// One record; only the members of its kind are used.
struct Record {
  RecordKind kind = RecordKind::paragraph;
  std::vector<Run> vecRuns;                             // paragraph
  std::string gif;                                      // picture: GIF bytes
  std::uint16_t nWidth = 0, nHeight = 0;                // picture, in pixels
  std::vector<std::vector<std::string>> vecRows;        // table: rows of cell texts
  std::string strTitle;                                 // section
  std::vector<Record> vecBody;                          // section
  std::string strUrl;                                   // link
  std::string strText;                                  // link label
  std::string strFileName;                              // attachment icon
  // Set by Decode: offset of this record's first byte in the item value.
  // Pictures are addressed by it ("itemIndex.hexOffset", e.g. 0.2A).
  std::size_t nOffset = 0;

  // Compares content, not nOffset.
  bool operator==(const Record& other) const;
};

constexpr int kMaxSectionDepth = 32;

[[nodiscard]] std::string Encode(const std::vector<Record>& records);
// Throws an LNSTATUS (LNERR_BAD_DATA base) for malformed bytes.
[[nodiscard]] std::vector<Record> Decode(std::string_view bytes);

// A picture found by Decode, with its address in the item value.
struct PictureRef {
  std::size_t nOffset = 0;  // record offset within the value
  const Record* pRecord = nullptr;  // non-owning: points into the decoded records
};
// Every picture of records, nested sections included, in document order.
[[nodiscard]] std::vector<PictureRef> ListPictures(const std::vector<Record>& records);

}  // namespace lnapi::richtext
