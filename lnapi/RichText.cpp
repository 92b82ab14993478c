#include "lnapi/RichText.h"

#include "lnapi/Status.h"

namespace lnapi::richtext {

namespace {

void PutU16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void PutU32(std::string& out, std::size_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutString(std::string& out, std::string_view s) {
  PutU32(out, s.size());
  out += s;
}

void EncodeInto(std::string& out, const std::vector<Record>& records);

std::string Payload(const Record& r) {
  std::string p;
  switch (r.kind) {
    case RecordKind::paragraph:
      PutU32(p, r.vecRuns.size());
      for (const auto& run : r.vecRuns) {
        p += static_cast<char>((run.bBold ? 1 : 0) | (run.bItalic ? 2 : 0) | (run.bUnderline ? 4 : 0));
        PutString(p, run.strText);
      }
      break;
    case RecordKind::lineBreak:
      break;
    case RecordKind::picture:
      PutU16(p, r.nWidth);
      PutU16(p, r.nHeight);
      PutString(p, r.gif);
      break;
    case RecordKind::table:
      PutU32(p, r.vecRows.size());
      for (const auto& row : r.vecRows) {
        PutU32(p, row.size());
        for (const auto& cell : row) PutString(p, cell);
      }
      break;
    case RecordKind::section:
      PutString(p, r.strTitle);
      EncodeInto(p, r.vecBody);
      break;
    case RecordKind::link:
      PutString(p, r.strUrl);
      PutString(p, r.strText);
      break;
    case RecordKind::attachmentIcon:
      PutString(p, r.strFileName);
      break;
  }
  return p;
}

void EncodeInto(std::string& out, const std::vector<Record>& records) {
  for (const auto& r : records) {
    const std::string p = Payload(r);
    out += static_cast<char>(r.kind);
    PutU32(out, p.size());
    out += p;
  }
}

// Reads one layer of records from bytes[begin, end). Offsets are absolute
// within the whole value.
class Reader {
public:
  explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

  std::vector<Record> Records(std::size_t begin, std::size_t end, int depth) {
    if (depth > kMaxSectionDepth) Bad(begin, "sections nested too deeply");
    std::vector<Record> records;
    std::size_t pos = begin;
    while (pos < end) {
      Record r;
      r.nOffset = pos;
      const auto kind = static_cast<std::uint8_t>(m_bytes[pos]);
      ++pos;
      const std::size_t length = U32(pos, end);
      if (length > end - pos) Bad(r.nOffset, "record longer than the value");
      const std::size_t payloadEnd = pos + length;
      Payload(r, kind, pos, payloadEnd, depth);
      if (pos != payloadEnd) Bad(pos, "unexpected bytes at the end of a record");
      records.push_back(std::move(r));
    }
    return records;
  }

private:
  [[noreturn]] void Bad(std::size_t offset, const char* what) {
    char where[32];
    std::snprintf(where, sizeof where, " at offset 0x%zX", offset);
    ThrowStatus(LNERR_BAD_DATA, std::string("Malformed rich text: ") + what + where);
  }

  std::uint32_t U32(std::size_t& pos, std::size_t end) {
    if (end - pos < 4) Bad(pos, "value cut short");
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t{static_cast<unsigned char>(m_bytes[pos + i])} << (8 * i);
    pos += 4;
    return v;
  }

  std::uint16_t U16(std::size_t& pos, std::size_t end) {
    if (end - pos < 2) Bad(pos, "value cut short");
    const auto v = static_cast<std::uint16_t>(static_cast<unsigned char>(m_bytes[pos]) |
                                              (static_cast<unsigned char>(m_bytes[pos + 1]) << 8));
    pos += 2;
    return v;
  }

  std::string String(std::size_t& pos, std::size_t end) {
    const std::size_t length = U32(pos, end);
    if (length > end - pos) Bad(pos, "text longer than its record");
    std::string s(m_bytes.substr(pos, length));
    pos += length;
    return s;
  }

  // A count of elements that each take at least minBytes: a count the
  // remaining bytes cannot hold is refused before anything is allocated.
  std::uint32_t Count(std::size_t& pos, std::size_t end, std::size_t minBytes) {
    const std::size_t at = pos;
    const std::uint32_t n = U32(pos, end);
    if (n > (end - pos) / minBytes) Bad(at, "count larger than its record");
    return n;
  }

  void Payload(Record& r, std::uint8_t kind, std::size_t& pos, std::size_t end, int depth) {
    switch (kind) {
      case static_cast<std::uint8_t>(RecordKind::paragraph): {
        const std::uint32_t runs = Count(pos, end, 5);
        r.vecRuns.reserve(runs);
        for (std::uint32_t i = 0; i < runs; ++i) {
          if (pos >= end) Bad(pos, "value cut short");
          const auto style = static_cast<unsigned char>(m_bytes[pos]);
          if (style > 7) Bad(pos, "unknown text style");
          ++pos;
          Run run;
          run.bBold = style & 1;
          run.bItalic = style & 2;
          run.bUnderline = style & 4;
          run.strText = String(pos, end);
          r.vecRuns.push_back(std::move(run));
        }
        break;
      }
      case static_cast<std::uint8_t>(RecordKind::lineBreak):
        break;
      case static_cast<std::uint8_t>(RecordKind::picture):
        r.nWidth = U16(pos, end);
        r.nHeight = U16(pos, end);
        r.gif = String(pos, end);
        break;
      case static_cast<std::uint8_t>(RecordKind::table): {
        const std::uint32_t rows = Count(pos, end, 4);
        r.vecRows.reserve(rows);
        for (std::uint32_t i = 0; i < rows; ++i) {
          const std::uint32_t cells = Count(pos, end, 4);
          std::vector<std::string> row;
          row.reserve(cells);
          for (std::uint32_t k = 0; k < cells; ++k) row.push_back(String(pos, end));
          r.vecRows.push_back(std::move(row));
        }
        break;
      }
      case static_cast<std::uint8_t>(RecordKind::section):
        r.strTitle = String(pos, end);
        r.vecBody = Records(pos, end, depth + 1);
        pos = end;
        break;
      case static_cast<std::uint8_t>(RecordKind::link):
        r.strUrl = String(pos, end);
        r.strText = String(pos, end);
        break;
      case static_cast<std::uint8_t>(RecordKind::attachmentIcon):
        r.strFileName = String(pos, end);
        break;
      default:
        Bad(r.nOffset, "unknown record kind");
    }
    r.kind = static_cast<RecordKind>(kind);
  }

  std::string_view m_bytes;
};

void CollectPictures(const std::vector<Record>& records, std::vector<PictureRef>& out) {
  for (const auto& r : records) {
    if (r.kind == RecordKind::picture) out.push_back({r.nOffset, &r});
    if (r.kind == RecordKind::section) CollectPictures(r.vecBody, out);
  }
}

}  // namespace

bool Record::operator==(const Record& o) const {
  return kind == o.kind && vecRuns == o.vecRuns && gif == o.gif && nWidth == o.nWidth &&
         nHeight == o.nHeight && vecRows == o.vecRows && strTitle == o.strTitle &&
         vecBody == o.vecBody && strUrl == o.strUrl && strText == o.strText &&
         strFileName == o.strFileName;
}

std::string Encode(const std::vector<Record>& records) {
  std::string out;
  EncodeInto(out, records);
  return out;
}

std::vector<Record> Decode(std::string_view bytes) {
  if (bytes.size() > 0xFFFFFFFFu) ThrowStatus(LNERR_BAD_DATA, "Malformed rich text: value too large");
  return Reader(bytes).Records(0, bytes.size(), 0);
}

std::vector<PictureRef> ListPictures(const std::vector<Record>& records) {
  std::vector<PictureRef> out;
  CollectPictures(records, out);
  return out;
}

}  // namespace lnapi::richtext
