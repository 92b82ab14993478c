// The run settings: every choice the wizard pages make, the Notes session and
// database a run works with, the scratch state of the duplicate judgement and
// the run's log file. One instance lives in the application object for the
// whole process and is handed by reference to every page and to the run.
//
// Threads: the user-interface thread owns it. While a run's worker works,
// the only member the user-interface thread writes is m_bRunning (Stop),
// which is atomic; everything else is used by one thread at a time because
// the pages disable their navigation while a worker runs.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/keep/KeepRules.h"
#include "lnapi/LNNotes.h"
#include "notes/FolderRecord.h"
#include "platform/DateTimeValue.h"
#include "platform/File.h"

// 32 upper-case hexadecimal digits of the MD5 of a key text. The digits are
// held in place, not on the heap: a run keeps one per distinct document in
// m_mapDuplicateKeys, and every step of a lookup there would otherwise read
// memory twice. They order as their text does.
class KeyDigest {
public:
  static constexpr std::size_t kDigits = 32;
  KeyDigest() = default;
  // The first 32 characters of text; missing ones are '0'.
  explicit KeyDigest(std::u16string_view text) {
    m_digits.fill(u'0');
    std::copy_n(text.begin(), std::min(text.size(), kDigits), m_digits.begin());
  }
  template <typename It>
  KeyDigest(It first, It last) : KeyDigest(std::u16string(first, last)) {}
  char16_t* Digits() { return m_digits.data(); }
  std::u16string_view Text() const { return {m_digits.data(), kDigits}; }
  operator std::u16string_view() const { return Text(); }
  friend bool operator==(const KeyDigest& a, const KeyDigest& b) { return a.m_digits == b.m_digits; }
  friend auto operator<=>(const KeyDigest& a, const KeyDigest& b) { return a.Text() <=> b.Text(); }
  friend bool operator==(const KeyDigest& a, std::u16string_view text) { return a.Text() == text; }

private:
  std::array<char16_t, kDigits> m_digits{};
};

template <>
struct std::hash<KeyDigest> {
  std::size_t operator()(const KeyDigest& digest) const noexcept {
    return std::hash<std::u16string_view>()(digest.Text());
  }
};

struct KeyInsertResult {
  std::map<KeyDigest, bool>::iterator position{};
  std::int32_t bInserted = 0;
};

struct NoteInsertResult {
  std::set<std::uint32_t>::iterator position{};
  std::int32_t bInserted = 0;
};

// Flags are bytes holding exactly 0 or 1; a run compares criteria with 1 and
// group switches with 0.
struct RunSettings {
  std::vector<DateRange> m_vecDateRanges;
  KeyInsertResult m_keyInsertResult;
  std::map<KeyDigest, bool> m_mapDuplicateKeys;
  std::set<std::uint32_t> m_mapProcessedNotes;
  NoteInsertResult m_noteInsertResult;
  LNNotesSession m_session;
  LNDatabase m_db;
  std::u16string m_strSingleFilePath;
  FolderRecord m_curFolder;
  std::vector<FolderRecord> m_vecSelectedFolders;
  // Single-file mode: why the folder listing behind m_vecSelectedFolders
  // stopped early (empty when it completed); the run reports it.
  std::u16string m_strFolderListError;
  // Single-file mode on a mail source: the folder list (full names, note
  // ids) of the read that the single-file page showed. A run reads the
  // source anew and finds the ticked folders there by name. Empty for a
  // database.
  std::vector<FolderRecord> m_vecSourceFolders;
  std::vector<std::u16string> m_vecFilePaths;
  platform::CFile m_logFile;
  DHANDLE m_hDatabase = 0;
  std::uint64_t m_nDbSize = 0;
  std::uint8_t m_bMultipleFiles = 0;
  std::uint8_t m_bSameFolderScope = 1;
  std::uint8_t m_bDateFilter = 0;
  std::uint8_t m_bMailSubject = 0;
  std::uint8_t m_bMailSender = 0;
  std::uint8_t m_bMailReceiver = 0;
  std::uint8_t m_bMailDateTime = 0;
  std::uint8_t m_bMailBody = 0;
  std::uint8_t m_bMailAttachments = 0;
  std::uint8_t m_bModifyOriginal = 0;
  std::u16string m_strNewNsfFolder;
  std::uint8_t m_bExcludeAllFolder = 1;
  std::uint8_t m_bTimeFormatHM = 0;
  std::atomic<std::uint8_t> m_bRunning{1};
  std::uint8_t m_bContactFirstName = 0;
  std::uint8_t m_bContactLastName = 0;
  std::uint8_t m_bContactMiddleName = 0;
  std::uint8_t m_bContactFullName = 0;
  std::uint8_t m_bContactEmail = 0;
  std::uint8_t m_bContactPhone = 0;
  std::uint8_t m_bContactCompany = 0;
  std::uint8_t m_bMailCriteria = 1;
  std::uint8_t m_bContactCriteria = 1;
  std::int32_t m_nAction = 0;
  std::u16string m_strSubFolderName;
  // Which copy of a group stays, and how loosely fields compare; all off
  // by default.
  KeepOptions m_keepOptions;

  RunSettings() = default;
  RunSettings(const RunSettings&) = delete;
  RunSettings& operator=(const RunSettings&) = delete;
};
