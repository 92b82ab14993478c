#include "mail/MimeExport.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "mail/GMimeSupport.h"

namespace mailio {

namespace {

using gm::Ref;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

Ref<GMimeObject> TextPart(const char* subtype, const std::string& text) {
  GMimeTextPart* tp = g_mime_text_part_new_with_subtype(subtype);
  g_mime_text_part_set_text(tp, text.c_str());
  GMimePart* part = GMIME_PART(tp);
  g_mime_part_set_content_encoding(
      part, g_mime_part_get_best_content_encoding(part, GMIME_ENCODING_CONSTRAINT_7BIT));
  return Ref<GMimeObject>(GMIME_OBJECT(tp));
}

Ref<GMimeObject> BinaryPart(const std::string& mimeType, const std::string& bytes) {
  const auto slash = mimeType.find('/');
  const std::string type = slash == std::string::npos ? "application" : mimeType.substr(0, slash);
  const std::string sub = slash == std::string::npos ? "octet-stream" : mimeType.substr(slash + 1);
  GMimePart* part = g_mime_part_new_with_type(type.c_str(), sub.c_str());
  Ref<GMimeStream> stream = gm::MemoryStream(bytes);
  Ref<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, wrapper.get());
  g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
  return Ref<GMimeObject>(GMIME_OBJECT(part));
}

Ref<GMimeObject> Multipart(const char* subtype, std::vector<Ref<GMimeObject>> parts) {
  GMimeMultipart* mp = g_mime_multipart_new_with_subtype(subtype);
  for (auto& p : parts) g_mime_multipart_add(mp, p.get());  // adds its own reference
  return Ref<GMimeObject>(GMIME_OBJECT(mp));
}

// An original inline image: "content-id\nmime/type\nfile name\n" then bytes.
Ref<GMimeObject> InlineImagePart(const std::string& value) {
  std::size_t a = value.find('\n');
  std::size_t b = a == std::string::npos ? a : value.find('\n', a + 1);
  std::size_t c = b == std::string::npos ? b : value.find('\n', b + 1);
  if (c == std::string::npos) return nullptr;
  Ref<GMimeObject> part = BinaryPart(value.substr(a + 1, b - a - 1), value.substr(c + 1));
  g_mime_object_set_disposition(part.get(), "inline");
  const std::string fileName = value.substr(b + 1, c - b - 1);
  if (!fileName.empty()) g_mime_part_set_filename(GMIME_PART(part.get()), fileName.c_str());
  g_mime_part_set_content_id(GMIME_PART(part.get()), value.substr(0, a).c_str());
  return part;
}

// The MIME body of a document: text and HTML as alternatives, inline images
// related to the HTML (or to the text), attachments mixed after them.
Ref<GMimeObject> BuildBody(const Doc& doc) {
  std::optional<std::string> text, html;
  std::vector<Ref<GMimeObject>> images, attachments;
  const bool haveOriginalImages = doc.Find(kInlineImageItem) != nullptr;
  int pictureNumber = 0;
  for (const Item* body : doc.FindAll("Body")) {
    if (body->kind == ItemKind::Html && !html) html = body->text;
    if (body->kind == ItemKind::Text && !text) text = body->text + "\n";
    if (body->kind != ItemKind::RichText) continue;
    if (!text && !html) text = ParagraphsToText(body->rich);
    if (haveOriginalImages) continue;  // the pictures were made from those
    for (const RichRecord& r : body->rich) {
      if (r.kind != RichRecord::Kind::Picture) continue;
      Ref<GMimeObject> part = BinaryPart("image/gif", r.gif);
      g_mime_object_set_disposition(part.get(), "inline");
      const std::string name = "picture-" + std::to_string(++pictureNumber) + ".gif";
      g_mime_part_set_filename(GMIME_PART(part.get()), name.c_str());
      attachments.push_back(std::move(part));
    }
  }
  if (const Item* alt = doc.Find(kHtmlAlternativeItem); alt && !html) html = alt->text;
  for (const Item* img : doc.FindAll(kInlineImageItem))
    if (auto part = InlineImagePart(img->bytes)) images.push_back(std::move(part));
  for (const Item* att : doc.FindAll(kAttachmentItem)) {
    if (att->kind != ItemKind::Attachment) continue;
    Ref<GMimeObject> part = BinaryPart(MimeTypeForFileName(att->fileName), att->bytes);
    g_mime_object_set_disposition(part.get(), "attachment");
    g_mime_part_set_filename(GMIME_PART(part.get()), att->fileName.c_str());
    attachments.push_back(std::move(part));
  }
  if (!text && !html) text = "";

  auto withImages = [&images](Ref<GMimeObject> primary) {
    if (images.empty()) return primary;
    std::vector<Ref<GMimeObject>> parts;
    parts.push_back(std::move(primary));
    for (auto& img : images) parts.push_back(std::move(img));
    return Multipart("related", std::move(parts));
  };
  Ref<GMimeObject> core;
  if (text && html) {
    std::vector<Ref<GMimeObject>> alternatives;
    alternatives.push_back(TextPart("plain", *text));
    alternatives.push_back(withImages(TextPart("html", *html)));
    core = Multipart("alternative", std::move(alternatives));
  } else {
    core = withImages(text ? TextPart("plain", *text) : TextPart("html", *html));
  }
  if (attachments.empty()) return core;
  std::vector<Ref<GMimeObject>> mixed;
  mixed.push_back(std::move(core));
  for (auto& a : attachments) mixed.push_back(std::move(a));
  return Multipart("mixed", std::move(mixed));
}

// The kept header block without the fields that describe the old MIME
// structure (continuation lines go with their field).
std::string FilterHeaders(const std::string& block) {
  std::string out;
  bool dropping = false;
  std::size_t i = 0;
  while (i < block.size()) {
    std::size_t end = block.find('\n', i);
    if (end == std::string::npos) end = block.size();
    std::string_view line(block.data() + i, end - i);
    if (!line.empty() && line.front() != ' ' && line.front() != '\t') {
      const std::string name = Lower(std::string(line.substr(0, line.find(':'))));
      dropping = name.rfind("content-", 0) == 0 || name == "mime-version";
    }
    if (!dropping) {
      out.append(line);
      out += '\n';
    }
    i = end + 1;
  }
  return out;
}

GDateTime* NewLocal(const LocalTime& t) {
  return g_date_time_new_local(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Headers from the items, for documents that never were Internet mail.
std::string SynthesisedHeaders(const Doc& doc) {
  Ref<GMimeMessage> message(g_mime_message_new(FALSE));
  auto addList = [&](GMimeAddressType type, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
      if (InternetAddressList* parsed = internet_address_list_parse(nullptr, entry.c_str())) {
        internet_address_list_append(g_mime_message_get_addresses(message.get(), type), parsed);
        g_object_unref(parsed);
      }
    }
  };
  addList(GMIME_ADDRESS_TYPE_FROM, doc.ListOf("From"));
  addList(GMIME_ADDRESS_TYPE_TO, doc.ListOf("SendTo"));
  addList(GMIME_ADDRESS_TYPE_CC, doc.ListOf("CopyTo"));
  addList(GMIME_ADDRESS_TYPE_BCC, doc.ListOf("BlindCopyTo"));
  g_mime_message_set_subject(message.get(), doc.TextOf("Subject").c_str(), "utf-8");
  const Item* posted = doc.Find("PostedDate");
  if (posted && posted->kind == ItemKind::Time) {
    if (GDateTime* dt = NewLocal(posted->time)) {
      g_mime_message_set_date(message.get(), dt);
      g_date_time_unref(dt);
    }
  }
  std::string id = doc.TextOf("$MessageID");
  id.erase(std::remove_if(id.begin(), id.end(), [](char c) { return c == '<' || c == '>' || c == ' '; }),
           id.end());
  if (!id.empty()) g_mime_message_set_message_id(message.get(), id.c_str());
  Ref<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_header_list_write_to_stream(g_mime_object_get_header_list(GMIME_OBJECT(message.get())),
                                     nullptr, stream.get());
  return gm::StreamBytes(stream.get());
}

}  // namespace

std::string ExportMessage(const Doc& doc) {
  if (const Item* original = doc.Find(kOriginalMessageItem); original && original->kind == ItemKind::Raw)
    return original->bytes;
  gm::EnsureInitialised();
  std::string out;
  const Item* raw = doc.Find(kRawHeadersItem);
  if (raw && (raw->kind == ItemKind::Text || raw->kind == ItemKind::Raw))
    out = FilterHeaders(raw->kind == ItemKind::Text ? raw->text : raw->bytes);
  else
    out = SynthesisedHeaders(doc);
  out += "MIME-Version: 1.0\n";
  Ref<GMimeObject> body = BuildBody(doc);
  Ref<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_object_write_to_stream(body.get(), nullptr, stream.get());
  out += gm::StreamBytes(stream.get());
  return out;
}

std::string EnvelopeSender(const Doc& doc) {
  gm::EnsureInitialised();
  const std::string from = doc.TextOf("From");
  std::string sender;
  if (InternetAddressList* list = internet_address_list_parse(nullptr, from.c_str())) {
    if (internet_address_list_length(list) > 0) {
      InternetAddress* ia = internet_address_list_get_address(list, 0);
      if (INTERNET_ADDRESS_IS_MAILBOX(ia))
        sender = gm::Str(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(ia)));
    }
    g_object_unref(list);
  }
  // The From_ line is split at blanks: an address with one would break it.
  if (sender.empty() || sender.find_first_of(" \t\r\n") != std::string::npos) return "MAILER-DAEMON";
  return sender;
}

std::string MimeTypeForFileName(const std::string& fileName) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"txt", "text/plain"},        {"htm", "text/html"},         {"html", "text/html"},
      {"csv", "text/csv"},          {"ics", "text/calendar"},     {"vcf", "text/vcard"},
      {"pdf", "application/pdf"},   {"zip", "application/zip"},   {"gz", "application/gzip"},
      {"doc", "application/msword"}, {"xls", "application/vnd.ms-excel"},
      {"json", "application/json"}, {"xml", "application/xml"},   {"png", "image/png"},
      {"gif", "image/gif"},         {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},
      {"bmp", "image/bmp"},         {"webp", "image/webp"},       {"svg", "image/svg+xml"},
      {"mp3", "audio/mpeg"},        {"wav", "audio/wav"},         {"mp4", "video/mp4"}};
  const auto dot = fileName.rfind('.');
  if (dot == std::string::npos) return "application/octet-stream";
  const std::string ext = Lower(fileName.substr(dot + 1));
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return "application/octet-stream";
}

}  // namespace mailio
