#include "engine/SummaryRows.h"

#include "engine/RunSettings.h"
#include "platform/Text.h"

namespace {

struct CriterionText {
  std::uint8_t RunSettings::*pFlag;
  const char16_t* szText;
};

std::u16string JoinTicked(const RunSettings& settings, std::initializer_list<CriterionText> parts) {
  std::u16string text;
  for (const CriterionText& part : parts)
    if (settings.*part.pFlag == 1) text += part.szText;
  while (!text.empty() && text.back() == u',') text.pop_back();
  return text;
}

std::u16string ScopeRow(const RunSettings& settings) {
  std::u16string row = settings.m_bSameFolderScope == 1 ? u"Search Duplicate Items in same Folder"
                                                        : u"Search Duplicate Items across Nsf File";
  if (settings.m_bExcludeAllFolder == 1) row += u",Exclude 'All' Folder.";
  return row;
}

std::u16string ActionText(const RunSettings& settings) {
  switch (settings.m_nAction) {
    case 0: return u"Delete Permanently";
    case 1: return u"Move to Trash";
    case 2: return u"Move to sub folder. Folder Name: " + settings.m_strSubFolderName;
    default: return u"Copy to sub folder. Folder Name: " + settings.m_strSubFolderName;
  }
}

// The rows of the options that steer and widen the judgement, each only
// when in force.
void AppendKeepRows(const RunSettings& settings, std::vector<std::u16string>& rows) {
  const KeepOptions& k = settings.m_keepOptions;
  if (!k.vecRules.empty()) rows.push_back(u"Copy kept: " + KeepChainText(k.vecRules));
  if (k.nNormalize != 0) rows.push_back(u"Compared loosely: " + NormalizeListText(k.nNormalize));
  if (k.HasDateTolerance())
    rows.push_back(u"Dates within: " + platform::DecimalText(k.nDateToleranceSeconds) + u" seconds");
  if (k.HasSizeGuard()) rows.push_back(u"Size guard: " + platform::DecimalText(k.nSizeGuardPercent) + u"%");
}

}  // namespace

std::u16string NormalizeListText(std::uint8_t nNormalize) {
  std::u16string text;
  for (const auto& [bit, name] : {std::pair{KeepOptions::kSubject, u"subject"},
                                  std::pair{KeepOptions::kAddresses, u"addresses"},
                                  std::pair{KeepOptions::kSpaces, u"spaces"}}) {
    if ((nNormalize & bit) == 0) continue;
    if (!text.empty()) text += u',';
    text += name;
  }
  return text;
}

std::u16string MailCriteriaText(const RunSettings& settings) {
  return JoinTicked(settings, {{&RunSettings::m_bMailSender, u"Sender Name/Address,"},
                               {&RunSettings::m_bMailReceiver, u"Receiver Name/Address,"},
                               {&RunSettings::m_bMailDateTime, u"Date and Time,"},
                               {&RunSettings::m_bMailSubject, u"Subject,"},
                               {&RunSettings::m_bMailAttachments, u"Attachments,"},
                               {&RunSettings::m_bMailBody, u"Body,"}});
}

std::u16string ContactCriteriaText(const RunSettings& settings) {
  return JoinTicked(settings, {{&RunSettings::m_bContactFullName, u"FullName,"},
                               {&RunSettings::m_bContactFirstName, u"First Name,"},
                               {&RunSettings::m_bContactLastName, u"Last Name,"},
                               {&RunSettings::m_bContactMiddleName, u"Middle Name,"},
                               {&RunSettings::m_bContactEmail, u"Email Address,"},
                               {&RunSettings::m_bContactPhone, u"Primary Phone Number,"},
                               {&RunSettings::m_bContactCompany, u"Company Name,"}});
}

std::vector<std::u16string> SummaryRows(const RunSettings& settings) {
  std::vector<std::u16string> rows;
  rows.push_back(u"Selection Summary of Process:");
  if (settings.m_bMultipleFiles == 1) {
    rows.push_back(u"Total Number of Selected NSF Files:  " +
                   platform::DecimalText(static_cast<long long>(settings.m_vecFilePaths.size())));
    for (const std::u16string& path : settings.m_vecFilePaths) rows.push_back(path);
  } else {
    rows.push_back(u"Selected Nsf File: " + settings.m_strSingleFilePath);
  }
  rows.push_back(ScopeRow(settings));
  if (settings.m_bTimeFormatHM == 1) rows.push_back(u"Time Format (H:M) is selected");
  if (settings.m_bDateFilter == 1) rows.push_back(u"Remove Duplicate items in selected Date Range");
  if (settings.m_bMailCriteria == 1)
    rows.push_back(
        u"Selection Criteria to remove duplicate mail items (except Contacts) on the basis of: " +
        MailCriteriaText(settings));
  if (settings.m_bContactCriteria == 1)
    rows.push_back(u"Selection Criteria to remove duplicate Contact items on the basis of: " +
                   ContactCriteriaText(settings));
  if (settings.m_bModifyOriginal == 1) {
    rows.push_back(u"Remove Duplicate items in original NSF File(s)");
    rows.push_back(u"Action to remove Duplicate items:" + ActionText(settings));
  } else {
    rows.push_back(u"Remove Duplicate items in new NSF File, Saving path is: " +
                   settings.m_strNewNsfFolder);
  }
  AppendKeepRows(settings, rows);
  rows.push_back(u"Select Start Process button to continue the duplicate remover process ");
  return rows;
}
