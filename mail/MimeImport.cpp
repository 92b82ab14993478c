#include "mail/MimeImport.h"

#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <utility>
#include <vector>

#include "mail/GMimeSupport.h"
#include "mail/GifConvert.h"

namespace mailio {

namespace {

using gm::Ref;

// A leaf of the MIME tree, as the body and attachment decisions need it.
struct Leaf {
  GMimeObject* object = nullptr;  // owned by the message; nullptr: read by the body scan
  std::string mediaType, subType;  // lower case
  bool attachmentDisposition = false;
  bool inRelated = false;
  bool isMessage = false;
  std::string fileName, contentId, charset;
  std::string decoded;  // the content, transfer encoding undone, when object is nullptr
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

// What a leaf's Content-Type and Content-Disposition say, as GMime reads
// them for a part (file name: the disposition's, else the type's "name").
void Describe(Leaf& leaf, GMimeContentType* ct, GMimeContentDisposition* cd) {
  if (ct) {
    leaf.mediaType = Lower(gm::Str(g_mime_content_type_get_media_type(ct)));
    leaf.subType = Lower(gm::Str(g_mime_content_type_get_media_subtype(ct)));
    leaf.charset = gm::Str(g_mime_content_type_get_parameter(ct, "charset"));
  }
  if (cd) leaf.attachmentDisposition = g_mime_content_disposition_is_attachment(cd);
  const char* name = cd ? g_mime_content_disposition_get_parameter(cd, "filename") : nullptr;
  if (!name && ct && !leaf.isMessage) name = g_mime_content_type_get_parameter(ct, "name");
  leaf.fileName = ToUtf8Lenient(gm::Str(name));
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
  if (!GMIME_IS_MESSAGE_PART(object) && !GMIME_IS_PART(object)) return;  // nothing else carries content
  Leaf leaf;
  leaf.object = object;
  leaf.inRelated = inRelated;
  leaf.isMessage = GMIME_IS_MESSAGE_PART(object);
  Describe(leaf, g_mime_object_get_content_type(object), g_mime_object_get_content_disposition(object));
  if (!leaf.isMessage) leaf.contentId = gm::Str(g_mime_part_get_content_id(GMIME_PART(object)));
  leaves.push_back(std::move(leaf));
}

// The decoded content of a leaf (transfer encoding undone).
std::string Content(const Leaf& leaf) {
  if (!leaf.object) return leaf.decoded;
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
  const char* charset = leaf.charset.c_str();
  if (*charset) {
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
void AddContentItems(const std::vector<Leaf>& leaves, const ImportOptions& options, Doc& doc) {
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

// Content with its transfer encoding undone, by GMime's own decoders, as
// its parser's parts give it. nullopt for an encoding left to the parser.
std::optional<std::string> Decoded(std::string_view content, GMimeContentEncoding encoding) {
  switch (encoding) {
    case GMIME_CONTENT_ENCODING_DEFAULT:
    case GMIME_CONTENT_ENCODING_7BIT:
    case GMIME_CONTENT_ENCODING_8BIT:
    case GMIME_CONTENT_ENCODING_BINARY: return std::string(content);
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE: {
      GMimeEncoding state;
      g_mime_encoding_init_decode(&state, encoding);
      std::string out(g_mime_encoding_outlen(&state, content.size()) + 16, '\0');
      std::size_t n = g_mime_encoding_step(&state, content.data(), content.size(), out.data());
      n += g_mime_encoding_flush(&state, "", 0, out.data() + n);
      out.resize(n);
      return out;
    }
    default: return std::nullopt;
  }
}

bool IsLwsp(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// A header line that starts a field the plain way: a name of visible
// characters right before its colon.
bool IsPlainField(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] > 32 && line[i] < 127 && line[i] != ':') ++i;
  return i > 0 && i < line.size() && line[i] == ':';
}

bool IsContinuation(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// A field's value as GMime reads it: unfolded, encoded words decoded.
std::string FieldValue(const std::string& raw, GMimeParserOptions* options) {
  gm::GString unfolded(g_mime_utils_header_unfold(raw.c_str()));
  return gm::Take(g_mime_utils_header_decode_text(options, unfolded.get()));
}

// The raw values of the fields a message's items come from, as GMime's
// message keeps them: of Subject and Date the last one (each replaces the
// one before), of the address fields every one in order, of Message-ID,
// Delivery-Date and Received the first.
struct TopFields {
  std::optional<std::string> subject, date, messageId, deliveryDate, received;
  std::vector<std::string> addresses[4];  // From, To, Cc, Bcc
  std::string spare;  // a later Message-ID, Delivery-Date or Received

  std::string* Field(const std::string& lowerName) {
    const char* lists[] = {"from", "to", "cc", "bcc"};
    for (int i = 0; i < 4; ++i)
      if (lowerName == lists[i]) return &addresses[i].emplace_back();
    if (lowerName == "subject") return &subject.emplace();
    if (lowerName == "date") return &date.emplace();
    std::optional<std::string>* first = lowerName == "message-id"      ? &messageId
                                        : lowerName == "delivery-date" ? &deliveryDate
                                        : lowerName == "received"      ? &received
                                                                       : nullptr;
    if (!first) return nullptr;
    return first->has_value() ? &spare : &first->emplace();
  }
};

// The body of a message read without building GMime's tree of it: the
// multipart structure found by the boundary lines as GMime's parser finds
// them, each part's Content-* fields read by GMime's own functions, its
// content decoded by GMime's decoders. Only plainly formed bodies are read
// so (LF line ends in part headers, every part closed by its own boundary,
// no nested message); for anything else Scan declines and the caller has
// the whole message parsed, so that both ways give the same documents.
class BodyScan {
public:
  BodyScan(std::string_view body, GMimeParserOptions* options) : m_body(body), m_options(options) {}

  // The leaves of the whole message (header block and body); false: declined.
  // top receives the raw values of the message's own fields.
  bool Message(std::vector<Leaf>& leaves, TopFields& top) {
    m_pTop = &top;
    return Part(false, false, 0, leaves) && m_end == End::none;
  }

private:
  enum class End { none, next, last, other };  // what ended a scan: no boundary line, ours, ours closing, another

  // The next line from m_pos (without its line end); false at the end.
  bool Line(std::string_view& line, bool& bNewline) {
    if (m_pos >= m_body.size()) return false;
    const std::size_t end = m_body.find('\n', m_pos);
    bNewline = end != std::string_view::npos;
    line = m_body.substr(m_pos, (bNewline ? end : m_body.size()) - m_pos);
    m_pos += line.size() + (bNewline ? 1 : 0);
    return true;
  }

  End Classify(std::string_view line) const {
    if (line.size() < 2 || line[0] != '-' || line[1] != '-') return End::none;
    for (std::size_t i = m_bounds.size(); i-- > 0;) {
      const std::string& b = m_bounds[i];
      if (line.substr(0, b.size()) != b) continue;
      const std::string_view rest = line.substr(b.size());
      const bool last = rest.substr(0, 2) == "--" && IsLwsp(rest.substr(2));
      if (!last && !IsLwsp(rest)) continue;
      if (i + 1 != m_bounds.size()) return End::other;  // a parent's boundary: a part left open
      return last ? End::last : End::next;
    }
    return End::none;
  }

  // Lines up to the next boundary line, or to the end of the body (m_end
  // none: the parser ends every open part there, taking nothing off). Sets
  // m_end, m_lineStart (where the boundary line starts) and m_bCr (it ends
  // with CR LF). False: declined.
  bool ToBoundary() {
    std::string_view line;
    bool bNewline = false;
    while (true) {
      const std::size_t at = m_pos;
      if (!Line(line, bNewline)) {
        m_end = End::none;
        m_lineStart = m_body.size();
        return true;
      }
      m_end = Classify(line);
      if (m_end == End::none) continue;
      m_lineStart = at;
      m_bCr = !line.empty() && line.back() == '\r';
      return bNewline && m_end != End::other;
    }
  }

  bool ScanMultipart(const std::string& boundary, bool inRelated, bool digest, int depth,
                     std::vector<Leaf>& leaves) {
    if (depth > 16) return false;
    m_bounds.push_back("--" + boundary);
    if (!ToBoundary()) return false;  // the preamble
    while (m_end == End::next)
      if (!Part(inRelated, digest, depth, leaves)) return false;
    m_bounds.pop_back();
    if (m_end == End::none) return true;  // cut short: every part ends here
    // The epilogue, up to a boundary of the parent or the end.
    return ToBoundary();
  }

  // One part, from the line after its boundary line (or the message, from
  // its first line); ends at the next boundary line of the multipart it is
  // in (m_end), or at the end of the body.
  bool Part(bool inRelated, bool digest, int depth, std::vector<Leaf>& leaves) {
    // The message's own fields are those of its header block, not of its parts.
    TopFields* const pTop = std::exchange(m_pTop, nullptr);
    std::string type, disposition, encoding, id;
    int nType = 0, nDisposition = 0, nEncoding = 0, nId = 0;
    std::string* field = nullptr;
    std::string_view line;
    bool bNewline = false, bFirst = true;
    while (true) {
      if (!Line(line, bNewline) || !bNewline) return false;
      // A CR LF line end is a line end, in the fields as in their end.
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.find('\r') != std::string_view::npos) return false;
      if (line.empty()) break;
      if (IsContinuation(line)) {
        if (bFirst) return false;
        if (field) {
          *field += '\n';
          field->append(line);
        }
        continue;
      }
      if (!IsPlainField(line) || Classify(line) != End::none) return false;
      bFirst = false;
      const std::size_t colon = line.find(':');
      const std::string name = Lower(std::string(line.substr(0, colon)));
      field = nullptr;
      if (pTop) field = pTop->Field(name);
      if (field) {
      } else if (name == "content-type") field = &type, ++nType;
      else if (name == "content-disposition") field = &disposition, ++nDisposition;
      else if (name == "content-transfer-encoding") field = &encoding, ++nEncoding;
      else if (name == "content-id") field = &id, ++nId;
      if (field) field->assign(line.substr(colon + 1));
    }
    if (nType > 1 || nDisposition > 1 || nEncoding > 1 || nId > 1 || (digest && nType == 0)) return false;

    Leaf leaf;
    leaf.inRelated = inRelated;
    Ref<GMimeContentType> ct;
    if (nType) {
      // The type the parser picks its kind of part by, read from the field
      // as it stands: a plain "type/subtype" must agree with GMime's reading.
      const std::string unfolded = gm::Take(g_mime_utils_header_unfold(type.c_str()));
      const std::size_t slash = unfolded.find('/');
      const std::size_t end = unfolded.find_first_of("; \t", slash == std::string::npos ? 0 : slash);
      if (slash == std::string::npos || slash == 0 || slash + 1 >= unfolded.size() || end == slash + 1) return false;
      ct.reset(g_mime_content_type_parse(m_options, Value(type).c_str()));
      if (!ct) return false;
      Describe(leaf, ct.get(), nullptr);
      if (leaf.mediaType != Lower(unfolded.substr(0, slash)) ||
          leaf.subType != Lower(unfolded.substr(slash + 1, end == std::string::npos ? end : end - slash - 1)))
        return false;
    } else {
      leaf.mediaType = "text";
      leaf.subType = "plain";
    }
    if (leaf.mediaType == "message") return false;
    if (leaf.mediaType == "multipart") {
      const char* boundary = g_mime_content_type_get_parameter(ct.get(), "boundary");
      if (!boundary) return false;
      return ScanMultipart(boundary, inRelated || leaf.subType == "related", leaf.subType == "digest", depth + 1,
                           leaves);
    }
    Ref<GMimeContentDisposition> cd;
    if (nDisposition) {
      cd.reset(g_mime_content_disposition_parse(m_options, Value(disposition).c_str()));
      if (!cd) return false;
    }
    Describe(leaf, ct.get(), cd.get());
    if (nId) leaf.contentId = gm::Take(g_mime_utils_decode_message_id(Value(id).c_str()));
    const GMimeContentEncoding how =
        nEncoding ? g_mime_content_encoding_from_string(Value(encoding).c_str()) : GMIME_CONTENT_ENCODING_DEFAULT;
    const std::size_t from = m_pos;
    if (!ToBoundary()) return false;
    // The line end before the boundary line belongs to it; the parser takes
    // off as many bytes as the boundary line's own line end has.
    std::size_t length = m_lineStart - from;
    const std::size_t cut = m_bCr ? 2 : 1;
    if (length > 0 && m_end != End::none) {
      if (length < cut) return false;
      length -= cut;
    }
    std::optional<std::string> content = Decoded(m_body.substr(from, length), how);
    if (!content) return false;
    leaf.decoded = std::move(*content);
    leaves.push_back(std::move(leaf));
    return true;
  }

  std::string Value(const std::string& raw) const { return FieldValue(raw, m_options); }

  std::string_view m_body;
  GMimeParserOptions* m_options;
  TopFields* m_pTop = nullptr;  // while the message's own header block is read
  std::size_t m_pos = 0;
  std::vector<std::string> m_bounds;  // "--" and the boundary, outermost first
  End m_end = End::none;
  std::size_t m_lineStart = 0;
  bool m_bCr = false;
};

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

// The items of a message's own fields, in item order, given as GMime's
// message has them; returns PostedDate.
struct HeaderValues {
  std::string subject;
  InternetAddressList* lists[4] = {};  // From, To, Cc, Bcc; not owned, may be null
  GDateTime* date = nullptr;           // not owned
  std::optional<LocalTime> delivered;
  std::optional<std::string> messageId;
};

std::optional<LocalTime> AddItems(const HeaderValues& v, Doc& doc) {
  doc.items.push_back(Item::MakeText("Form", "Memo"));
  doc.items.push_back(Item::MakeText("Subject", UnixLineEnds(ToUtf8Lenient(v.subject))));
  std::vector<std::string> from;
  AppendAddresses(v.lists[0], from);
  if (!from.empty()) {
    std::string joined = from.front();
    for (std::size_t i = 1; i < from.size(); ++i) joined += ", " + from[i];
    doc.items.push_back(Item::MakeText("From", std::move(joined)));
  }
  const char* names[] = {"SendTo", "CopyTo", "BlindCopyTo"};
  for (int i = 0; i < 3; ++i) {
    std::vector<std::string> addresses;
    AppendAddresses(v.lists[i + 1], addresses);
    if (!addresses.empty()) doc.items.push_back(Item::MakeTextList(names[i], std::move(addresses)));
  }
  const std::optional<LocalTime> posted = ToLocal(v.date);
  if (posted) doc.items.push_back(Item::MakeTime("PostedDate", *posted));
  if (v.delivered) doc.items.push_back(Item::MakeTime("DeliveredDate", *v.delivered));
  if (v.messageId) {
    std::string value = UnixLineEnds(ToUtf8Lenient(*v.messageId));
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\r\n") + 1);
    if (!value.empty()) doc.items.push_back(Item::MakeText("$MessageID", std::move(value)));
  }
  return posted;
}

std::optional<LocalTime> AddHeaderItems(GMimeMessage* message, Doc& doc) {
  HeaderValues v;
  v.subject = gm::Str(g_mime_message_get_subject(message));
  v.lists[0] = g_mime_message_get_from(message);
  v.lists[1] = g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO);
  v.lists[2] = g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC);
  v.lists[3] = g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_BCC);
  v.date = g_mime_message_get_date(message);
  v.delivered = DeliveredDate(GMIME_OBJECT(message));
  if (const char* id = g_mime_object_get_header(GMIME_OBJECT(message), "Message-ID")) v.messageId = id;
  return AddItems(v, doc);
}

// The same from the raw values a body scan kept, read by the functions
// GMime's message reads them with. False, with doc untouched, for an address
// field those functions cannot read whole: GMime's message keeps the part of
// it that reads, and only the whole parse gives that part.
bool AddScannedHeaderItems(const TopFields& top, Doc& doc, std::optional<LocalTime>& posted) {
  GMimeParserOptions* options = LenientOptions();
  HeaderValues v;
  if (top.subject) v.subject = FieldValue(*top.subject, options);
  Ref<InternetAddressList> lists[4];
  for (int i = 0; i < 4; ++i) {
    if (top.addresses[i].empty()) continue;
    lists[i].reset(internet_address_list_new());
    for (const std::string& raw : top.addresses[i]) {
      Ref<InternetAddressList> one(internet_address_list_parse(options, raw.c_str()));
      if (!one) return false;
      internet_address_list_append(lists[i].get(), one.get());
    }
    v.lists[i] = lists[i].get();
  }
  struct DateUnref {
    void operator()(GDateTime* d) const { if (d) g_date_time_unref(d); }
  };
  std::unique_ptr<GDateTime, DateUnref> date;
  if (top.date) date.reset(g_mime_utils_header_decode_date(FieldValue(*top.date, options).c_str()));
  v.date = date.get();
  // Delivery-Date when it reads, else the first Received stamp.
  if (top.deliveryDate) v.delivered = ParseDate(FieldValue(*top.deliveryDate, options));
  if (!v.delivered && top.received) {
    const std::string value = FieldValue(*top.received, options);
    const auto semi = value.rfind(';');
    if (semi != std::string::npos) v.delivered = ParseDate(value.substr(semi + 1));
  }
  if (top.messageId) v.messageId = FieldValue(*top.messageId, options);
  posted = AddItems(v, doc);
  return true;
}

Ref<GMimeMessage> Parse(std::string_view bytes) {
  Ref<GMimeStream> stream = gm::MemoryStream(bytes);
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  return Ref<GMimeMessage>(g_mime_parser_construct_message(parser.get(), LenientOptions()));
}

// owned, when given, holds bytes and may be taken for the kept original.
MessageResult Import(std::string_view bytes, const ImportOptions& options, std::string* owned) {
  if (IsBlank(bytes)) return {std::nullopt, "empty message"};
  // Blank space before the first field is a damaged but readable message.
  std::size_t start = bytes.find_first_not_of(" \t\r\n");
  if (!StartsWithHeaderField(bytes.substr(start))) return {std::nullopt, "does not start with header lines"};

  gm::EnsureInitialised();
  // The header block is parsed alone; the body is scanned for its parts
  // (BodyScan), or parsed with the rest when the scan declines. A tree of
  // the whole message costs most of the time an import spends.
  const std::string_view whole = bytes.substr(start), head = HeaderSpan(whole);
  std::vector<Leaf> leaves;
  TopFields top;
  Doc doc;
  std::optional<LocalTime> posted;
  const bool scanned = options.bContent && options.bScanBody &&
                       BodyScan(whole, LenientOptions()).Message(leaves, top) &&
                       AddScannedHeaderItems(top, doc, posted);
  Ref<GMimeMessage> message;
  if (!scanned) {
    leaves.clear();
    message = Parse(options.bContent ? whole : head);
    if (!message) return {std::nullopt, "cannot be read as a MIME message"};
    if (!HasAnyHeader(message.get())) return {std::nullopt, "has no header fields"};
    posted = AddHeaderItems(message.get(), doc);
  }
  const std::optional<LocalTime> delivered = doc.Find("DeliveredDate") ? doc.Find("DeliveredDate")->time : std::optional<LocalTime>();
  if (options.bContent) {
    if (!scanned)
      if (GMimeObject* top = g_mime_message_get_mime_part(message.get())) Walk(top, false, leaves);
    AddContentItems(leaves, options, doc);
  }
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
