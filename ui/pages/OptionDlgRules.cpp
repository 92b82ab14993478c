#include "ui/pages/OptionDlgRules.h"

namespace optionrules {

AddVerdict CheckAddRange(const DateTimeValue& start, const DateTimeValue& end,
                         const std::vector<ListRow>& rows) {
  if (start.IsValid() && end.IsValid() && end < start) {
    return AddVerdict::endBeforeStart;
  }
  const std::u16string strStart = dateperiods::FormatListDate(start);
  const std::u16string strEnd = dateperiods::FormatListDate(end);
  for (const ListRow& row : rows) {
    if (row.strStart == strStart && row.strEnd == strEnd) {
      return AddVerdict::alreadyListed;
    }
  }
  return AddVerdict::add;
}

std::optional<std::u16string> ApplyOptionNext(RunSettings& settings, const OptionChoices& choices,
                                              const dateperiods::CivilDateTime& now) {
  settings.m_bSameFolderScope = choices.bSameFolderScope ? 1 : 0;
  settings.m_bExcludeAllFolder = choices.bExcludeAllFolder ? 1 : 0;
  settings.m_bTimeFormatHM = choices.bTimeFormatHM ? 1 : 0;
  if (!choices.bDateFilter) {
    settings.m_bDateFilter = 0;
    settings.m_vecDateRanges.clear();
    return std::nullopt;
  }
  settings.m_bDateFilter = 1;
  if (choices.bPredefinedMode) {
    settings.m_vecDateRanges.clear();
    if (auto range = dateperiods::PredefinedPeriod(choices.nPeriodIndex, now)) {
      settings.m_vecDateRanges.push_back(dateperiods::ToDateRange(*range));
    }
    return std::nullopt;
  }
  if (choices.vecListRanges.empty()) {
    return std::u16string(kNoDateRange);
  }
  settings.m_vecDateRanges = choices.vecListRanges;
  return std::nullopt;
}

}  // namespace optionrules
