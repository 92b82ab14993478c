// The document model of mail and contact import and export: a document as an
// ordered list of typed Notes items, independent of both the MIME library and
// the database store. Parsers produce it, the database writer stores it, the
// exporters read it back from a database into the same shape.
//
// Plain values; no thread rules beyond those of std::vector.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailio {

// A local wall-clock time (the process's TZ), whole seconds.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const LocalTime&) const = default;
};

// One rich-text record this module writes or reads: a paragraph of plain
// text, or a picture held as GIF bytes.
struct RichRecord {
  enum class Kind { Paragraph, Picture };
  Kind kind = Kind::Paragraph;
  std::string text;  // Paragraph: UTF-8, no line breaks
  std::string gif;   // Picture: GIF bytes
  int width = 0, height = 0;
  bool operator==(const RichRecord&) const = default;
};

enum class ItemKind { Text, TextList, Time, RichText, Html, Attachment, Raw };

struct Item {
  std::string name;
  ItemKind kind = ItemKind::Text;
  std::string text;               // Text; Html (UTF-8)
  std::vector<std::string> list;  // TextList
  LocalTime time;                 // Time
  std::vector<RichRecord> rich;   // RichText
  std::string fileName;           // Attachment
  std::string bytes;              // Attachment data; Raw value bytes
  std::uint16_t rawType = 0;      // Raw: the Notes type code
  bool operator==(const Item&) const = default;

  static Item MakeText(std::string name, std::string value);
  static Item MakeTextList(std::string name, std::vector<std::string> values);
  static Item MakeTime(std::string name, LocalTime value);
  static Item MakeRich(std::string name, std::vector<RichRecord> records);
  static Item MakeHtml(std::string name, std::string html);
  static Item MakeAttachment(std::string fileName, std::string bytes);
  static Item MakeRaw(std::string name, std::uint16_t type, std::string bytes);
};

struct Doc {
  std::optional<LocalTime> created;  // none: the time of import
  std::vector<Item> items;

  // First item of that name, or nullptr.
  const Item* Find(std::string_view name) const;
  // Every item of that name, in order.
  std::vector<const Item*> FindAll(std::string_view name) const;
  // The text of a Text item (or the first entry of a TextList); empty if none.
  std::string TextOf(std::string_view name) const;
  // The entries of a TextList item (a Text item gives one entry).
  std::vector<std::string> ListOf(std::string_view name) const;
};

// Item names this module writes beyond the ones every Notes mail or contact
// has. Exporters rely on them to give back what was imported.
inline constexpr const char* kRawHeadersItem = "$RawHeaders";        // header block as received
inline constexpr const char* kHtmlAlternativeItem = "$HTMLAlternative";  // HTML beside a plain body
inline constexpr const char* kInlineImageItem = "$InlineImage";       // original cid: image part
inline constexpr const char* kVCardPropertiesItem = "$VCardProperties";  // other vCard lines
inline constexpr const char* kAttachmentItem = "$FILE";
// The message exactly as received (RFC 5322 bytes, without an mbox From_
// line or its quoting), stored with the store's MIME-part type: export gives
// these bytes back unchanged, so a signature still verifies.
inline constexpr const char* kOriginalMessageItem = "$MIMEMessage";
inline constexpr std::uint16_t kTypeMimePart = 25;
// The mbox From_ line the message came with (without "From " and the line
// end), so that an mbox written from the database is the mbox read.
inline constexpr const char* kEnvelopeItem = "$EnvelopeFrom";
// Notes type code for opaque application data; used for values that are not
// text (header bytes that are not UTF-8, original inline image parts).
inline constexpr std::uint16_t kTypeUserData = 0x0E00;

// Text to rich-text paragraphs: one per line (CR LF, CR and LF all end a
// line), one final line end dropped. "" gives no paragraph.
std::vector<RichRecord> TextToParagraphs(std::string_view text);
// The inverse for the paragraphs of records (pictures skipped): each
// paragraph followed by "\n".
std::string ParagraphsToText(const std::vector<RichRecord>& records);

// True when bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// Bytes as UTF-8: unchanged when valid, else read as Windows-1252.
std::string ToUtf8Lenient(std::string_view bytes);

}  // namespace mailio
