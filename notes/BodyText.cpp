#include "notes/BodyText.h"

#include <algorithm>
#include <unordered_map>
#include <memory>
#include <new>
#include <openssl/evp.h>

#include "notes/NotesString.h"
#include "platform/TempPath.h"
#include "platform/Text.h"

namespace bodytext {

const char* const kConverterOptions[] = {"ForceSectionExpand=1", "RowAtATimeTableAlt=1",
                                         "ForceOutlineExpand=1", nullptr};

namespace {

constexpr std::size_t kMaxFileNameBytes = 31;
constexpr std::size_t kMaxPartTextBytes = 11;

// Length of the longest prefix of at most maxBytes bytes that does not end
// inside a UTF-8 character.
std::size_t FitUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t n = maxBytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// Bytes at the end of chunk that start a character the chunk does not hold
// whole: 0 when the chunk ends on a character boundary (or the bytes there
// are not a well-formed start of one).
std::size_t IncompleteTail(const char* chunk, std::size_t size) {
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto b = static_cast<unsigned char>(chunk[size - back]);
    if ((b & 0xC0) == 0x80) continue;
    const std::size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return need > back ? back : 0;
  }
  return 0;
}

}  // namespace

PictureTarget FindPictureTarget(const HTMLAPIReference& reference) {
  PictureTarget target;
  if (reference.RefType != HTMLAPI_REF_IMG || reference.pTargets == nullptr) return target;
  const DWORD m = reference.NumTargets;
  for (DWORD k = 0; k < m; ++k) {
    const HTMLAPI_URLTARGETCOMPONENT& c = reference.pTargets[k];
    const char* value = c.pszValue != nullptr ? c.pszValue : "";
    if (m >= 2 && k == m - 2 && c.AddressableType == UAT_Field) target.strFieldName = value;
    if (k == m - 1 && c.AddressableType == UAT_FieldOffset) {
      target.bIsPicture = true;
      target.strOffsetText = value;
    }
  }
  if (!target.bIsPicture) target.strFieldName.clear();
  return target;
}

FieldOffset ParseFieldOffset(std::string_view text) {
  FieldOffset out;
  const std::size_t dot = text.find('.');
  out.strIndexText = std::string(text.substr(0, dot));
  if (dot != std::string_view::npos) out.strOffsetText = std::string(text.substr(dot + 1));
  for (char c : out.strIndexText) {
    if (c < '0' || c > '9') break;
    out.dwIndex = out.dwIndex * 10 + static_cast<DWORD>(c - '0');
  }
  DWORD weight = 1;
  for (auto it = out.strOffsetText.rbegin(); it != out.strOffsetText.rend(); ++it) {
    out.dwOffset += static_cast<DWORD>(HexValue(*it)) * weight;
    weight *= 16;
  }
  return out;
}

std::string PictureFileName(std::string_view fieldName, std::string_view indexText,
                            std::string_view offsetText) {
  const std::string_view suffix = ".gif";
  indexText = indexText.substr(0, FitUtf8(indexText, kMaxPartTextBytes));
  offsetText = offsetText.substr(0, FitUtf8(offsetText, kMaxPartTextBytes));
  const std::size_t room = kMaxFileNameBytes - suffix.size() - indexText.size() - offsetText.size();
  std::string name(fieldName.substr(0, FitUtf8(fieldName, room)));
  name.append(indexText).append(offsetText).append(suffix);
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

std::vector<std::size_t> PlanTranslationChunks(const char* bytes, std::size_t length) {
  constexpr std::size_t kChunkBytes = 32764;
  std::vector<std::size_t> chunks;
  std::size_t pos = 0;
  while (length - pos > kChunkBytes) {
    // A character cut by the chunk's end goes whole into the next chunk.
    const std::size_t n = kChunkBytes - IncompleteTail(bytes + pos, kChunkBytes);
    chunks.push_back(n);
    pos += n;
  }
  chunks.push_back(length - pos);
  return chunks;
}

}  // namespace bodytext

namespace {

using bodytext::FieldOffset;
using bodytext::PictureTarget;

// Appends UTF-16LE bytes up to the first zero code unit to out.
void AppendWide(const char* bytes, std::size_t size, std::u16string& out) {
  out.reserve(out.size() + size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    out.push_back(unit);
  }
}

std::u16string ReadWide(const char* bytes, std::size_t size) {
  std::u16string out;
  AppendWide(bytes, size, out);
  return out;
}

// One translation call of n bytes (n ≤ 32764) into a zero-filled buffer of
// bufferSize bytes, of which outSize may be written. The buffer is kept for
// the thread's next call: every rich-text body passes here.
void TranslateChunk(const char* in, std::size_t n, std::size_t bufferSize, std::size_t outSize,
                    std::u16string& text) {
  thread_local std::vector<char> out;
  out.assign(bufferSize, 0);
  const WORD written = OSTranslate(OS_TRANSLATE_LMBCS_TO_UNICODE, in, static_cast<WORD>(n),
                                   out.data(), static_cast<WORD>(outSize));
  AppendWide(out.data(), std::min<std::size_t>(written, outSize), text);
}

void ReleaseReference(HtmlConversionContext& ctx) {
  if (ctx.hReference == 0) return;
  (void)OSUnlock(ctx.hReference);
  (void)OSMemFree(ctx.hReference);
  ctx.hReference = 0;
  ctx.pReference = nullptr;
}

std::string Md5Hex(const std::string& bytes) {
  // Fetched once per thread: EVP_md5() looks the implementation up on every use.
  struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
  };
  thread_local const std::unique_ptr<EVP_MD, MdFree> md(EVP_MD_fetch(nullptr, "MD5", nullptr));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!md || EVP_Digest(bytes.data(), bytes.size(), digest, &size, md.get(), nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 0x0F]);
  }
  return out;
}

// A converter destroyed on every exit.
class ConverterHolder {
public:
  ConverterHolder() = default;
  ~ConverterHolder() {
    if (m_h != 0) (void)HTMLDestroyConverter(m_h);
  }
  ConverterHolder(const ConverterHolder&) = delete;
  ConverterHolder& operator=(const ConverterHolder&) = delete;
  HTMLHANDLE* Address() { return &m_h; }
  HTMLHANDLE Get() const { return m_h; }

private:
  HTMLHANDLE m_h = 0;
};

// The picture's GIF bytes by a converter of its own; the status of the
// first failing call otherwise.
STATUS ConvertPicture(const HtmlConversionContext& ctx, const std::string& fieldName,
                      const FieldOffset& where, std::string* bytes) {
  ConverterHolder picture;
  STATUS status = HTMLCreateConverter(picture.Address());
  if (status != 0) return status;
  status = HTMLConvertImage(picture.Get(), ctx.hDatabase, ctx.hNote, fieldName.c_str(),
                            where.dwIndex, where.dwOffset);
  if (status != 0) return status;
  DWORD length = 0;
  status = HTMLGetProperty(picture.Get(), HTMLAPI_PROP_TEXTLENGTH, &length);
  if (status != 0) return status;
  bytes->assign(length, '\0');
  DWORD used = length;
  status = HTMLGetText(picture.Get(), 0, &used, bytes->data());
  bytes->resize(std::min(used, length));
  return status;
}

// Writes a picture file into folder, preparing the folder the first time
// this thread uses it. WritePrivateFile checks the folder on every write;
// should it have gone meanwhile, it is made again once.
bool WritePicture(const std::string& folder, const std::string& path, std::string_view bytes) {
  thread_local std::string preparedFolder;
  const auto prepare = [&] {
    preparedFolder.clear();
    if (!platform::PrepareUserTempPath() || !platform::CreatePrivateDirectory(folder)) return false;
    preparedFolder = folder;
    return true;
  };
  if (preparedFolder != folder && !prepare()) return false;
  return platform::WritePrivateFile(path, bytes) || (prepare() && platform::WritePrivateFile(path, bytes));
}

// The picture files of this thread not written yet: the last bytes given
// for each path. Written when flushed, when they grow past the limit, and
// when the thread ends. The limit is small enough that writing them out
// (a file each) stays a short pause, which a Stop may have to wait for.
class HeldPictures {
public:
  static constexpr std::size_t kLimitBytes = 2u << 20;
  HeldPictures() = default;
  ~HeldPictures() { Flush(); }
  HeldPictures(const HeldPictures&) = delete;
  HeldPictures& operator=(const HeldPictures&) = delete;

  void Hold(const std::string& folder, const std::string& path, std::string bytes) {
    Picture& held = m_mapByPath[path];
    m_nBytes -= held.bytes.size();
    m_nBytes += bytes.size();
    held = Picture{folder, std::move(bytes)};
    if (m_nBytes > kLimitBytes) Flush();
  }
  void Flush() {
    for (const auto& [path, picture] : m_mapByPath) (void)WritePicture(picture.folder, path, picture.bytes);
    m_mapByPath.clear();
    m_nBytes = 0;
  }

private:
  struct Picture {
    std::string folder;
    std::string bytes;
  };
  std::unordered_map<std::string, Picture> m_mapByPath;
  std::size_t m_nBytes = 0;
};

HeldPictures& ThreadPictures() {
  thread_local HeldPictures pictures;
  return pictures;
}

// Writes one picture and rewrites reference index to its file's path. A
// file that cannot be written does not stop the conversion.
STATUS ExportPicture(HtmlConversionContext& ctx, HTMLHANDLE hConverter, DWORD index,
                     const PictureTarget& target) {
  const FieldOffset where = bodytext::ParseFieldOffset(target.strOffsetText);
  std::string bytes;
  const STATUS status = ConvertPicture(ctx, target.strFieldName, where, &bytes);
  if (status != 0) return status;
  ctx.vecPictureDigests.push_back(Md5Hex(bytes));
  const std::string folder = platform::UserTempPath() + "temp/";
  const std::string path = folder + bodytext::PictureFileName(target.strFieldName,
                                                              where.strIndexText,
                                                              where.strOffsetText);
  ThreadPictures().Hold(folder, path, std::move(bytes));
  return HTMLSetReferenceText(hConverter, index, path.c_str());
}

// Ends what GetBodyHtml started, on every exit.
class ConversionScope {
public:
  explicit ConversionScope(HtmlConversionContext& ctx) : m_ctx(ctx) { (void)HTMLProcessInitialize(); }
  ~ConversionScope() {
    ReleaseReference(m_ctx);
    if (m_ctx.hConverter != 0) (void)HTMLDestroyConverter(m_ctx.hConverter);
    m_ctx.hConverter = 0;
    (void)HTMLProcessTerminate();
  }
  ConversionScope(const ConversionScope&) = delete;
  ConversionScope& operator=(const ConversionScope&) = delete;

private:
  HtmlConversionContext& m_ctx;
};

// The value of an HTML item: from byte 2 on, UTF-16LE when the byte at
// offset 3 is 0 (the high byte of a first Latin character), else 8-bit text.
std::u16string HtmlItemText(const LNItem& item) {
  const std::size_t size = item.GetValueSize();
  if (size <= 4) return {};
  std::vector<char> value(size + 2, 0);
  item.Read(0, size, value.data());
  if (value[3] == 0) return ReadWide(value.data() + 2, value.size() - 2);
  const std::string_view bytes(value.data() + 2);  // up to the first zero byte
  return AnsiToText(bytes);
}

}  // namespace

void FlushPictureFiles() { ThreadPictures().Flush(); }

STATUS StartNoteConversion(HtmlConversionContext& ctx) {
  ctx.wStatus = HTMLCreateConverter(&ctx.hConverter);
  if (ctx.wStatus == 0) ctx.wStatus = HTMLSetHTMLOptions(ctx.hConverter, bodytext::kConverterOptions);
  if (ctx.wStatus == 0)
    ctx.wStatus = HTMLConvertNote(ctx.hConverter, ctx.hDatabase, ctx.hNote, 0, nullptr);
  return ctx.wStatus;
}

STATUS ExportBodyImages(HtmlConversionContext& ctx, HTMLHANDLE hConverter) {
  DWORD count = 0;
  (void)HTMLGetProperty(hConverter, HTMLAPI_PROP_NUMREFS, &count);
  for (DWORD i = 0; i < count; ++i) {
    STATUS status = HTMLGetReference(hConverter, i, &ctx.hReference);
    if (status == 0) status = HTMLLockAndFixupReference(ctx.hReference, &ctx.pReference);
    if (status == 0 && ctx.pReference != nullptr) {
      const PictureTarget target = bodytext::FindPictureTarget(*ctx.pReference);
      if (target.bIsPicture) status = ExportPicture(ctx, hConverter, i, target);
    }
    ReleaseReference(ctx);
    if (status != 0) return status;
  }
  return 0;
}

namespace {

// The whole rich-text conversion of one document, as GetBodyHtml does it,
// up to the converted bytes (Notes character set): false on any failure.
bool ConvertBodyHtml(HtmlConversionContext& ctx, std::string& html) {
  ConversionScope scope(ctx);
  try {
    (void)StartNoteConversion(ctx);
    ctx.wStatus = ExportBodyImages(ctx, ctx.hConverter);
    if (ctx.wStatus != 0) return false;
    DWORD length = 0;
    ctx.wStatus = HTMLGetProperty(ctx.hConverter, HTMLAPI_PROP_TEXTLENGTH, &length);
    if (ctx.wStatus != 0) return false;
    html.assign(static_cast<std::size_t>(length) + 1, '\0');
    DWORD used = length;
    ctx.wStatus = HTMLGetText(ctx.hConverter, 0, &used, html.data());
    if (ctx.wStatus != 0) return false;
    html.resize(std::min(used, length));
    return true;
  } catch (const std::bad_alloc&) {
    return false;  // a body too large to hold is treated like a failed conversion
  }
}

}  // namespace

std::u16string GetBodyHtml(HtmlConversionContext& ctx) {
  std::string html;
  if (!ConvertBodyHtml(ctx, html)) return {};
  try {
    return TranslateHtmlText(html.data(), html.size());
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::u16string TranslateHtmlText(const char* bytes, std::size_t length) {
  constexpr std::size_t kChunkBytes = 32764;
  constexpr std::size_t kChunkBufferBytes = 65530;
  constexpr std::size_t kChunkOutBytes = 0xfff8;
  std::u16string text;
  if (length <= kChunkBytes) {
    TranslateChunk(bytes, length, 2 * length + 2, 2 * length, text);
    return text;
  }
  const std::vector<std::size_t> chunks = bodytext::PlanTranslationChunks(bytes, length);
  std::vector<char> staging(kChunkBytes + 2, 0);
  std::size_t pos = 0;
  for (std::size_t i = 0; i + 1 < chunks.size(); ++i) {
    std::fill(staging.begin(), staging.end(), 0);
    std::copy_n(bytes + pos, chunks[i], staging.begin());
    TranslateChunk(staging.data(), chunks[i], kChunkBufferBytes, kChunkOutBytes, text);
    pos += chunks[i];
  }
  const std::size_t last = chunks.back();
  TranslateChunk(bytes + pos, last, 2 * last + 2, 2 * last, text);
  return text;
}

namespace {

// A body that is not rich text gives its text to bodyText and true; a
// rich-text body gives false and is left to the caller, in ctx.
bool PlainBody(const LNNote& note, DHANDLE hDatabase, std::u16string& bodyText,
               HtmlConversionContext& ctx) {
  if (note.HasItem("Body")) {
    LNText list;
    (void)note.GetItem("Body", &list);
    LNString joined;
    (void)list.GetText(&joined, ";");
    bodyText = NotesStringToText(joined.GetBufLength(), joined);
  }
  LNItem item;
  if (!bodyText.empty() || note.GetItem("Body", &item) != LNNOERROR) return true;
  if (item.GetType() == TYPE_HTML) {
    bodyText = HtmlItemText(item);
    return true;
  }
  if (item.GetType() != TYPE_COMPOSITE) return true;
  ctx.hNote = note.GetNoteHandle(1);
  ctx.hDatabase = hDatabase;
  ctx.dwNoteId = note.GetNoteID();
  return false;
}

template <typename Text>
void AppendPictureDigests(const HtmlConversionContext& ctx, Text& text) {
  for (const std::string& digest : ctx.vecPictureDigests) {
    text.push_back(0x1E);
    text.append(digest.begin(), digest.end());
  }
}

}  // namespace

std::u16string GetBodyText(const LNNote& note, DHANDLE hDatabase) {
  std::u16string text;
  HtmlConversionContext ctx;
  if (PlainBody(note, hDatabase, text, ctx)) return text;
  text = GetBodyHtml(ctx);
  if (!text.empty()) AppendPictureDigests(ctx, text);
  return text;
}

std::string GetBodyKeyBytes(const LNNote& note, DHANDLE hDatabase) {
  std::string bytes;
  std::u16string text;
  HtmlConversionContext ctx;
  if (PlainBody(note, hDatabase, text, ctx)) {
    platform::AppendDistinctUtf8(bytes, text);
    return bytes;
  }
  if (!ConvertBodyHtml(ctx, bytes)) return {};
  // The rendering is UTF-8 already; only bytes that the way through UTF-16
  // would change (ill-formed ones, a zero byte) take that way.
  if (!platform::IsPlainUtf8(bytes)) {
    try {
      text = TranslateHtmlText(bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
      return {};
    }
    bytes.clear();
    platform::AppendDistinctUtf8(bytes, text);
  }
  if (!bytes.empty()) AppendPictureDigests(ctx, bytes);
  return bytes;
}
