#include "lnapi/Status.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "lnapi/Utf8.h"

namespace lnapi {

namespace {

// Texts of made statuses, keyed by the full status. The serial in the high
// 16 bits wraps, so the table never holds more than 65535 texts.
struct MadeTexts {
  std::mutex mutex;
  std::unordered_map<LNSTATUS, std::string> texts;
  std::uint32_t nNextSerial = 1;
};

MadeTexts& Made() {
  static MadeTexts made;
  return made;
}

const char* BaseText(LNSTATUS code) {
  switch (code) {
    case LNNOERROR: return "No error";
    case LNERR_NOT_FOUND: return "Note, item, view or folder not found";
    case LNERR_NOT_OPEN: return "The object is not open";
    case LNERR_NOT_A_DATABASE: return "The file is not a Tarnwick database";
    case LNERR_FILE: return "The file cannot be read or written";
    case LNERR_NOT_INITIALIZED: return "The Notes session is not initialized";
    case LNERR_EXISTS: return "A folder of that name already exists";
    case LNERR_BAD_DATA: return "The item value is malformed";
    case LNERR_INVALID_HANDLE: return "Invalid or freed handle";
    case LNERR_BAD_ARGUMENT: return "Invalid argument";
    default: return nullptr;
  }
}

}  // namespace

LNSTATUS MakeStatus(LNSTATUS base, std::string text) {
  MadeTexts& made = Made();
  std::lock_guard lock(made.mutex);
  const LNSTATUS status = (made.nNextSerial << 16) | (base & 0xFFFF);
  made.nNextSerial = made.nNextSerial % 0xFFFF + 1;
  made.texts[status] = std::move(text);
  return status;
}

void ThrowStatus(LNSTATUS base, std::string text) { throw MakeStatus(base, std::move(text)); }

}  // namespace lnapi

std::string LNGetErrorMessageText(LNSTATUS status) {
  if (status >> 16) {
    lnapi::MadeTexts& made = lnapi::Made();
    std::lock_guard lock(made.mutex);
    auto it = made.texts.find(status);
    if (it != made.texts.end()) return it->second;
  }
  if (const char* text = lnapi::BaseText(status & 0xFFFF)) return text;
  char buf[48];
  std::snprintf(buf, sizeof buf, "Unknown Notes error 0x%X", static_cast<unsigned>(status));
  return buf;
}

std::size_t LNGetErrorMessageText(LNSTATUS status, char* buf, std::size_t bufSize, int /*flags*/) {
  if (!buf || bufSize == 0) return 0;
  const std::string text = LNGetErrorMessageText(status);
  // Cut at a character boundary so the buffer never ends in half a character.
  const std::size_t n = lnapi::utf8::FitPrefix(text, bufSize - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return n;
}
