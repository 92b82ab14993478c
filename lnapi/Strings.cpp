// LNString, the string translations and the core API's OSTranslate.
#include "lnapi/LNNotes.h"
#include "lnapi/Utf8.h"

LNString::LNString(const char* text) : m_strBytes(text ? text : "") {}
LNString::LNString(std::string bytes) : m_strBytes(std::move(bytes)) {}

std::size_t LNString::GetLength() const { return lnapi::utf8::CountChars(m_strBytes); }

LNSTATUS LNStringTranslate(std::u16string_view text, LNCHARSET /*charset*/, LNString* out) {
  if (!out) return LNERR_BAD_ARGUMENT;
  *out = LNString(lnapi::utf8::FromUtf16(text));
  return LNNOERROR;
}

LNSTATUS LNStringTranslate(const LNString& text, LNCHARSET /*charset*/, std::size_t bufSize,
                           char* buf, std::size_t* length) {
  if (length) *length = 0;
  if (!buf) return bufSize == 0 ? LNNOERROR : LNERR_BAD_ARGUMENT;
  // Always leave room for a zero code unit: callers read the buffer as a
  // zero-terminated wide string.
  const std::size_t usable = bufSize & ~std::size_t{1};
  if (usable < 2) return LNNOERROR;
  const std::size_t written = lnapi::utf8::ToUtf16Le(text.Bytes(), buf, usable - 2);
  buf[written] = buf[written + 1] = 0;
  if (length) *length = written;
  return LNNOERROR;
}

WORD OSTranslate(WORD mode, const char* in, WORD inLength, char* out, WORD outSize) {
  if (mode != OS_TRANSLATE_LMBCS_TO_UNICODE || !in || !out) return 0;
  return static_cast<WORD>(
      lnapi::utf8::ToUtf16Le(std::string_view(in, inLength), out, outSize));
}
