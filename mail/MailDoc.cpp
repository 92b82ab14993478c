#include "mail/MailDoc.h"

#include <algorithm>

namespace mailio {

Item Item::MakeText(std::string name, std::string value) {
  Item item;
  item.name = std::move(name);
  item.kind = ItemKind::Text;
  item.text = std::move(value);
  return item;
}

Item Item::MakeTextList(std::string name, std::vector<std::string> values) {
  Item item;
  item.name = std::move(name);
  item.kind = ItemKind::TextList;
  item.list = std::move(values);
  return item;
}

Item Item::MakeTime(std::string name, LocalTime value) {
  Item item;
  item.name = std::move(name);
  item.kind = ItemKind::Time;
  item.time = value;
  return item;
}

Item Item::MakeRich(std::string name, std::vector<RichRecord> records) {
  Item item;
  item.name = std::move(name);
  item.kind = ItemKind::RichText;
  item.rich = std::move(records);
  return item;
}

Item Item::MakeHtml(std::string name, std::string html) {
  Item item;
  item.name = std::move(name);
  item.kind = ItemKind::Html;
  item.text = std::move(html);
  return item;
}

Item Item::MakeAttachment(std::string fileName, std::string bytes) {
  Item item;
  item.name = kAttachmentItem;
  item.kind = ItemKind::Attachment;
  item.fileName = std::move(fileName);
  item.bytes = std::move(bytes);
  return item;
}

Item Item::MakeRaw(std::string name, std::uint16_t type, std::string bytes) {
  Item item;
  item.name = std::move(name);
  item.kind = ItemKind::Raw;
  item.rawType = type;
  item.bytes = std::move(bytes);
  return item;
}

const Item* Doc::Find(std::string_view name) const {
  for (const Item& item : items)
    if (item.name == name) return &item;
  return nullptr;
}

std::vector<const Item*> Doc::FindAll(std::string_view name) const {
  std::vector<const Item*> found;
  for (const Item& item : items)
    if (item.name == name) found.push_back(&item);
  return found;
}

std::string Doc::TextOf(std::string_view name) const {
  const Item* item = Find(name);
  if (!item) return {};
  if (item->kind == ItemKind::Text) return item->text;
  if (item->kind == ItemKind::TextList && !item->list.empty()) return item->list.front();
  return {};
}

std::vector<std::string> Doc::ListOf(std::string_view name) const {
  const Item* item = Find(name);
  if (!item) return {};
  if (item->kind == ItemKind::TextList) return item->list;
  if (item->kind == ItemKind::Text) return {item->text};
  return {};
}

std::vector<RichRecord> TextToParagraphs(std::string_view text) {
  std::vector<RichRecord> records;
  records.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::size_t i = 0;
  for (std::size_t end; (end = text.find_first_of("\r\n", i)) != std::string_view::npos;) {
    records.push_back({RichRecord::Kind::Paragraph, std::string(text.substr(i, end - i)), {}, 0, 0});
    i = end + 1;
    if (text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;  // CR LF is one line end
  }
  // A last line without a line end is a paragraph too.
  if (i < text.size()) records.push_back({RichRecord::Kind::Paragraph, std::string(text.substr(i)), {}, 0, 0});
  return records;
}

std::string ParagraphsToText(const std::vector<RichRecord>& records) {
  std::string text;
  for (const RichRecord& r : records) {
    if (r.kind != RichRecord::Kind::Paragraph) continue;
    text += r.text;
    text += '\n';
  }
  return text;
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
      return false;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

namespace {

// Windows-1252 code points for 0x80..0x9F; the rest of the upper half is
// Latin-1.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string ToUtf8Lenient(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x80)
      out += ch;
    else if (c < 0xA0)
      AppendUtf8(out, kCp1252High[c - 0x80]);
    else
      AppendUtf8(out, c);
  }
  return out;
}

}  // namespace mailio
