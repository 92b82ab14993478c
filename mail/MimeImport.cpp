#include "mail/MimeImport.h"

#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <vector>

#include "mail/GMimeSupport.h"
#include "mail/GifConvert.h"

namespace mailio {

namespace {

using gm::Ref;

// A leaf of the MIME tree, as the body and attachment decisions need it.
struct Leaf {
  GMimeObject* object = nullptr;  // owned by the message
  std::string mediaType, subType;  // lower case
  bool attachmentDisposition = false;
  bool inRelated = false;
  bool isMessage = false;
  std::string fileName, contentId;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); });
}

// The first line must be a header field ("Name:"), or this is no message.
// Blanks between the name and the colon are the obsolete form that older
// mailers still write ("X-Odd-Header : v"); a reader must accept them.
bool StartsWithHeaderField(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && bytes[i] != ':') {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c <= 32 || c >= 127) break;
    ++i;
  }
  const std::size_t nameEnd = i;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t')) ++i;
  return nameEnd > 0 && i < bytes.size() && bytes[i] == ':';
}

// CR LF to LF: mbox files and the export write LF, and a body must read the
// same after a round trip.
// Zero bytes go too: no mail text holds them, and C-string interfaces (the
// MIME writer's among them) would cut the text there.
std::string UnixLineEnds(std::string text) {
  // Most text has neither: no second copy then.
  if (text.find_first_of(std::string_view("\r\0", 2)) == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] != '\0' && !(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

std::optional<LocalTime> ToLocal(GDateTime* dt) {
  if (!dt) return std::nullopt;
  const std::time_t t = static_cast<std::time_t>(g_date_time_to_unix(dt));
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return std::nullopt;
  LocalTime lt{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  if (lt.year < 1601 || lt.year > 9999) return std::nullopt;  // no real mail date
  return lt;
}

std::optional<LocalTime> ParseDate(const std::string& text) {
  if (IsBlank(text)) return std::nullopt;
  GDateTime* dt = g_mime_utils_header_decode_date(text.c_str());
  if (!dt) return std::nullopt;
  auto lt = ToLocal(dt);
  g_date_time_unref(dt);
  return lt;
}

// Delivery-Date if present, else the time stamp of the topmost Received
// header (the last hop, that is the delivery).
std::optional<LocalTime> DeliveredDate(GMimeObject* message) {
  if (const char* d = g_mime_object_get_header(message, "Delivery-Date"))
    if (auto lt = ParseDate(d)) return lt;
  GMimeHeaderList* headers = g_mime_object_get_header_list(message);
  const int count = g_mime_header_list_get_count(headers);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    if (g_ascii_strcasecmp(g_mime_header_get_name(h), "Received") != 0) continue;
    std::string value = gm::Str(g_mime_header_get_value(h));
    const auto semi = value.rfind(';');
    if (semi == std::string::npos) return std::nullopt;
    return ParseDate(value.substr(semi + 1));
  }
  return std::nullopt;
}

// An address whose domain is plain ASCII is its own IDN form (the IDN
// library gives such a domain back, letter case aside, and GMime then keeps
// it as written). Saying so up front spares a lookup per address, a good
// part of reading a small message's header.
void PresetAsciiIdn(InternetAddressMailbox* mailbox) {
  if (mailbox->idn_addr || !mailbox->addr || mailbox->at <= 0) return;
  for (const char* p = mailbox->addr + mailbox->at + 1; *p; ++p)
    if (static_cast<unsigned char>(*p) >= 0x80) return;
  mailbox->idn_addr = g_strdup(mailbox->addr);
}

void AppendAddresses(InternetAddressList* list, std::vector<std::string>& out) {
  if (!list) return;
  const int n = internet_address_list_length(list);
  for (int i = 0; i < n; ++i) {
    InternetAddress* ia = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(ia)) {
      AppendAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(ia)), out);
      continue;
    }
    if (INTERNET_ADDRESS_IS_MAILBOX(ia)) PresetAsciiIdn(INTERNET_ADDRESS_MAILBOX(ia));
    // Broken headers can leave a folding line end inside a name.
    std::string text = UnixLineEnds(ToUtf8Lenient(gm::Take(internet_address_to_string(ia, nullptr, FALSE))));
    if (!text.empty()) out.push_back(std::move(text));
  }
}

void Walk(GMimeObject* object, bool inRelated, std::vector<Leaf>& leaves) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeContentType* ct = g_mime_object_get_content_type(object);
    const bool related = ct && g_mime_content_type_is_type(ct, "multipart", "related");
    GMimeMultipart* mp = GMIME_MULTIPART(object);
    const int n = g_mime_multipart_get_count(mp);
    for (int i = 0; i < n; ++i) Walk(g_mime_multipart_get_part(mp, i), inRelated || related, leaves);
    return;
  }
  Leaf leaf;
  leaf.object = object;
  leaf.inRelated = inRelated;
  if (GMimeContentType* ct = g_mime_object_get_content_type(object)) {
    leaf.mediaType = Lower(gm::Str(g_mime_content_type_get_media_type(ct)));
    leaf.subType = Lower(gm::Str(g_mime_content_type_get_media_subtype(ct)));
  }
  if (GMimeContentDisposition* cd = g_mime_object_get_content_disposition(object))
    leaf.attachmentDisposition = g_mime_content_disposition_is_attachment(cd);
  if (GMIME_IS_MESSAGE_PART(object)) {
    leaf.isMessage = true;
    if (GMimeContentDisposition* cd = g_mime_object_get_content_disposition(object))
      leaf.fileName = gm::Str(g_mime_content_disposition_get_parameter(cd, "filename"));
  } else if (GMIME_IS_PART(object)) {
    leaf.fileName = gm::Str(g_mime_part_get_filename(GMIME_PART(object)));
    leaf.contentId = gm::Str(g_mime_part_get_content_id(GMIME_PART(object)));
  } else {
    return;  // nothing else carries content
  }
  leaf.fileName = ToUtf8Lenient(leaf.fileName);
  leaves.push_back(std::move(leaf));
}

// The decoded content of a leaf (transfer encoding undone).
std::string Content(const Leaf& leaf) {
  Ref<GMimeStream> stream(g_mime_stream_mem_new());
  if (leaf.isMessage) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(leaf.object));
    if (inner) g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream.get());
  } else if (GMimeDataWrapper* w = g_mime_part_get_content(GMIME_PART(leaf.object))) {
    g_mime_data_wrapper_write_to_stream(w, stream.get());
  }
  return gm::StreamBytes(stream.get());
}

// A text part's content as UTF-8, converted from its declared charset; text
// whose charset is unknown or wrong is read as Windows-1252 where it is not
// UTF-8. Line ends become LF.
std::string TextContent(const Leaf& leaf) {
  std::string bytes = UnixLineEnds(Content(leaf));
  // Most text is UTF-8 (or ASCII) already: then it is kept as it is.
  if (IsValidUtf8(bytes)) return bytes;
  const char* charset = g_mime_object_get_content_type_parameter(leaf.object, "charset");
  if (charset && *charset) {
    gsize written = 0;
    GError* error = nullptr;
    char* converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                g_mime_charset_iconv_name(charset), nullptr, &written, &error);
    if (error) g_error_free(error);
    if (converted) {
      std::string out(converted, written);
      g_free(converted);
      if (IsValidUtf8(out)) return out;
    }
  }
  return ToUtf8Lenient(bytes);
}

bool HtmlReferences(const std::string& html, const std::string& contentId) {
  if (contentId.empty()) return false;
  return Lower(html).find("cid:" + Lower(contentId)) != std::string::npos;
}

std::string AttachmentName(const Leaf& leaf, int number) {
  if (!leaf.fileName.empty()) return leaf.fileName;
  if (leaf.isMessage) return "message-" + std::to_string(number) + ".eml";
  std::string ext = leaf.subType.empty() ? "bin" : leaf.subType;
  if (leaf.mediaType == "text" && leaf.subType == "plain") ext = "txt";
  if (leaf.subType == "octet-stream") ext = "bin";
  return "attachment-" + std::to_string(number) + "." + ext;
}

// Body and attachments, in item order.
void AddContentItems(GMimeMessage* message, const ImportOptions& options, Doc& doc) {
  std::vector<Leaf> leaves;
  if (GMimeObject* top = g_mime_message_get_mime_part(message)) Walk(top, false, leaves);

  std::optional<std::string> text, html;
  std::vector<const Leaf*> rest;
  for (const Leaf& leaf : leaves) {
    const bool bodyCandidate = !leaf.isMessage && !leaf.attachmentDisposition &&
                               leaf.fileName.empty() && leaf.mediaType == "text";
    if (bodyCandidate && leaf.subType == "plain") {
      // A second plain part (a list footer, say) is shown after the first.
      text = text ? *text + TextContent(leaf) : TextContent(leaf);
    } else if (bodyCandidate && leaf.subType == "html" && !html) {
      // Ends with a line end, as every written message does: otherwise a
      // message cut after "</html>" would gain one on its way through an mbox.
      html = TextContent(leaf);
      if (!html->empty() && html->back() != '\n') *html += '\n';
    } else {
      rest.push_back(&leaf);
    }
  }

  std::vector<RichRecord> pictures;
  std::vector<Item> attachments;
  int attachmentNumber = 0;
  for (const Leaf* leaf : rest) {
    const bool inlineImage = leaf->mediaType == "image" && !leaf->contentId.empty() &&
                             (leaf->inRelated || (html && HtmlReferences(*html, leaf->contentId)));
    if (inlineImage) {
      // The picture is part of the body that a run compares.
      if (auto gif = ConvertToGif(Content(*leaf)))
        pictures.push_back({RichRecord::Kind::Picture, {}, std::move(gif->bytes), gif->width, gif->height});
    } else {
      std::string bytes = options.bAttachmentData ? Content(*leaf) : std::string();
      attachments.push_back(Item::MakeAttachment(AttachmentName(*leaf, ++attachmentNumber), std::move(bytes)));
    }
  }

  if (text || !html) {
    std::vector<RichRecord> body = TextToParagraphs(text.value_or(""));
    body.insert(body.end(), pictures.begin(), pictures.end());
    doc.items.push_back(Item::MakeRich("Body", std::move(body)));
  } else {
    doc.items.push_back(Item::MakeHtml("Body", std::move(*html)));
    if (!pictures.empty()) doc.items.push_back(Item::MakeRich("Body", std::move(pictures)));
  }
  for (Item& item : attachments) doc.items.push_back(std::move(item));
}

GMimeParserOptions* LenientOptions() {
  static GMimeParserOptions* options = [] {
    GMimeParserOptions* o = g_mime_parser_options_new();
    static const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, fallback);
    g_mime_parser_options_set_address_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_rfc2047_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    return o;
  }();
  return options;
}

// GMime files the Content-* fields under the message's MIME part, not the
// message: a bare MIME entity has fields only there.
bool HasAnyHeader(GMimeMessage* message) {
  if (g_mime_header_list_get_count(g_mime_object_get_header_list(GMIME_OBJECT(message))) > 0) return true;
  GMimeObject* part = g_mime_message_get_mime_part(message);
  return part && g_mime_header_list_get_count(g_mime_object_get_header_list(part)) > 0;
}

// The header block with the empty line that ends it (or everything, when
// there is no body).
std::string_view HeaderSpan(std::string_view message) {
  std::size_t i = 0;
  while (i < message.size()) {
    std::size_t end = message.find('\n', i);
    if (end == std::string_view::npos) return message;
    const std::size_t length = end - i;
    if (length == 0 || (length == 1 && message[i] == '\r')) return message.substr(0, end + 1);
    i = end + 1;
  }
  return message;
}

}  // namespace

std::string HeaderBlock(std::string_view message) {
  std::string out;
  out.reserve(std::min<std::size_t>(message.size(), 4096));
  std::size_t i = 0;
  while (i < message.size()) {
    std::size_t end = message.find('\n', i);
    if (end == std::string_view::npos) end = message.size();
    std::string_view line = message.substr(i, end - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    out.append(line);
    out += '\n';
    i = end + 1;
  }
  return out;
}

bool HasHeaderLines(std::string_view bytes) {
  const std::size_t start = bytes.find_first_not_of(" \t\r\n");
  return start != std::string_view::npos && StartsWithHeaderField(bytes.substr(start));
}

namespace {

// owned, when given, holds bytes and may be taken for the kept original.
MessageResult Import(std::string_view bytes, const ImportOptions& options, std::string* owned) {
  if (IsBlank(bytes)) return {std::nullopt, "empty message"};
  // Blank space before the first field is a damaged but readable message.
  std::size_t start = bytes.find_first_not_of(" \t\r\n");
  if (!StartsWithHeaderField(bytes.substr(start))) return {std::nullopt, "does not start with header lines"};

  gm::EnsureInitialised();
  // Without content only the header block is parsed: on large mail that is
  // most of the time an import spends.
  const std::string_view parsed = options.bContent ? bytes.substr(start) : HeaderSpan(bytes.substr(start));
  Ref<GMimeStream> stream = gm::MemoryStream(parsed);
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), LenientOptions()));
  if (!message) return {std::nullopt, "cannot be read as a MIME message"};
  GMimeObject* object = GMIME_OBJECT(message.get());
  if (!HasAnyHeader(message.get())) return {std::nullopt, "has no header fields"};

  Doc doc;
  doc.items.push_back(Item::MakeText("Form", "Memo"));
  doc.items.push_back(
      Item::MakeText("Subject", UnixLineEnds(ToUtf8Lenient(gm::Str(g_mime_message_get_subject(message.get()))))));
  std::vector<std::string> from;
  AppendAddresses(g_mime_message_get_from(message.get()), from);
  if (!from.empty()) {
    std::string joined = from.front();
    for (std::size_t i = 1; i < from.size(); ++i) joined += ", " + from[i];
    doc.items.push_back(Item::MakeText("From", std::move(joined)));
  }
  const std::pair<GMimeAddressType, const char*> lists[] = {{GMIME_ADDRESS_TYPE_TO, "SendTo"},
                                                            {GMIME_ADDRESS_TYPE_CC, "CopyTo"},
                                                            {GMIME_ADDRESS_TYPE_BCC, "BlindCopyTo"}};
  for (const auto& [type, name] : lists) {
    std::vector<std::string> addresses;
    AppendAddresses(g_mime_message_get_addresses(message.get(), type), addresses);
    if (!addresses.empty()) doc.items.push_back(Item::MakeTextList(name, std::move(addresses)));
  }
  const std::optional<LocalTime> posted = ToLocal(g_mime_message_get_date(message.get()));
  if (posted) doc.items.push_back(Item::MakeTime("PostedDate", *posted));
  const std::optional<LocalTime> delivered = DeliveredDate(object);
  if (delivered) doc.items.push_back(Item::MakeTime("DeliveredDate", *delivered));
  if (const char* id = g_mime_object_get_header(object, "Message-ID")) {
    std::string value = UnixLineEnds(ToUtf8Lenient(id));
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\r\n") + 1);
    if (!value.empty()) doc.items.push_back(Item::MakeText("$MessageID", std::move(value)));
  }
  if (options.bContent) AddContentItems(message.get(), options, doc);
  if (options.bKeepOriginal)
    doc.items.push_back(Item::MakeRaw(kOriginalMessageItem, kTypeMimePart,
                                      owned ? std::move(*owned) : std::string(bytes)));
  doc.created = posted ? posted : delivered;
  return {std::move(doc), {}};
}

}  // namespace

MessageResult ImportMessage(std::string_view bytes, const ImportOptions& options) {
  return Import(bytes, options, nullptr);
}

MessageResult ImportOwnedMessage(std::string bytes, const ImportOptions& options) {
  return Import(bytes, options, &bytes);
}

void TuneAllocatorForImport() {
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
}

}  // namespace mailio
