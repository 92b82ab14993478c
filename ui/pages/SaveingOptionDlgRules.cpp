#include "ui/pages/SaveingOptionDlgRules.h"

#include <algorithm>
#include <cstdint>

namespace criteriarules {
namespace {

std::uint8_t Byte(const std::vector<bool>& rows, std::size_t i) {
  return i < rows.size() && rows[i] ? 1 : 0;
}

bool AnyChecked(const std::vector<bool>& rows) {
  return std::any_of(rows.begin(), rows.end(), [](bool b) { return b; });
}

// The list's rows name the bytes; the record keeps Last Name before Middle
// Name, so those two rows map crosswise onto it.
void WriteContactBytes(RunSettings& s, const std::vector<bool>& rows) {
  s.m_bContactFirstName = Byte(rows, 0);
  s.m_bContactMiddleName = Byte(rows, 1);
  s.m_bContactLastName = Byte(rows, 2);
  s.m_bContactFullName = Byte(rows, 3);
  s.m_bContactEmail = Byte(rows, 4);
  s.m_bContactPhone = Byte(rows, 5);
  s.m_bContactCompany = Byte(rows, 6);
}

void WriteMailBytes(RunSettings& s, const std::vector<bool>& rows) {
  s.m_bMailSubject = Byte(rows, 0);
  s.m_bMailSender = Byte(rows, 1);
  s.m_bMailReceiver = Byte(rows, 2);
  s.m_bMailDateTime = Byte(rows, 3);
  s.m_bMailBody = Byte(rows, 4);
  s.m_bMailAttachments = Byte(rows, 5);
}

std::optional<std::u16string> ApplyDisposal(RunSettings& s, const CriteriaChoices& c) {
  if (c.bNewFiles) {
    s.m_bModifyOriginal = 0;
    if (c.strSavingPath.empty()) {
      return std::u16string(kNoSavingPath);
    }
    s.m_strNewNsfFolder = c.strSavingPath;
    return std::nullopt;
  }
  s.m_bModifyOriginal = 1;
  if (ActionNeedsFolder(c.nAction)) {
    if (c.strSubFolder.empty()) {
      return std::u16string(kNoSubFolder);
    }
    s.m_strSubFolderName = c.strSubFolder;
  }
  s.m_nAction = c.nAction;
  return std::nullopt;
}

}  // namespace

std::optional<std::u16string> ApplyCriteriaNext(RunSettings& s, const CriteriaChoices& c) {
  if (auto message = ApplyDisposal(s, c)) {
    return message;
  }
  if (c.bMailCriteria) {
    s.m_bMailCriteria = 1;
    if (c.vecMailRows.empty()) {
      return std::u16string(kNoMailCriteria);
    }
    WriteMailBytes(s, c.vecMailRows);
    if (!AnyChecked(c.vecMailRows)) {
      return std::u16string(kNoMailCriteria);
    }
  } else {
    s.m_bMailCriteria = 0;
  }
  if (c.bContactCriteria) {
    s.m_bContactCriteria = 1;
    if (c.vecContactRows.empty()) {
      return std::u16string(kNoContactCriteria);
    }
    WriteContactBytes(s, c.vecContactRows);
    if (!AnyChecked(c.vecContactRows)) {
      return std::u16string(kNoContactCriteria);
    }
  } else {
    s.m_bContactCriteria = 0;
  }
  if (s.m_bMailCriteria == 0 && s.m_bContactCriteria == 0) {
    return std::u16string(kNoMailCriteria);
  }
  return std::nullopt;
}

}  // namespace criteriarules
