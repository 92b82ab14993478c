// What the search scope and date filter page decides, apart from its
// widgets: whether Add takes a range, and what Next writes into the run
// settings. The page reads its controls into these records and shows the
// answer; tests call the functions directly.
//
// User-interface thread only (they write the run settings).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/DatePeriods.h"
#include "engine/RunSettings.h"

namespace optionrules {

inline constexpr const char16_t* kEndBeforeStart = u"End date should be greater than Start date";
inline constexpr const char16_t* kNoDateRange = u"Please enter date range to continue";

// One row of the date-range list: the two texts the user sees.
struct ListRow {
  std::u16string strStart;
  std::u16string strEnd;
};

enum class AddVerdict { add, endBeforeStart, alreadyListed };

// An end earlier than the start is refused (an equal end is fine); a range
// whose two texts are already a row is ignored, so two ranges on the same
// days at different times of day count as the same.
[[nodiscard]] AddVerdict CheckAddRange(const DateTimeValue& start, const DateTimeValue& end,
                                       const std::vector<ListRow>& rows);

// The page's controls as Next reads them.
struct OptionChoices {
  bool bSameFolderScope = true;
  bool bExcludeAllFolder = true;
  bool bTimeFormatHM = false;
  bool bDateFilter = false;
  bool bPredefinedMode = true;
  int nPeriodIndex = 0;                // -1 when the combo has no selection
  std::vector<DateRange> vecListRanges;  // the list's rows, in order
};

// Writes the page's bytes and the date ranges. In manual mode the ranges
// become exactly the list's rows, so what the run filters by is what the
// user sees; an empty list refuses Next with kNoDateRange (returned) after
// the three scope bytes and m_bDateFilter were written. now is read once by
// the caller.
[[nodiscard]] std::optional<std::u16string> ApplyOptionNext(RunSettings& settings,
                                                            const OptionChoices& choices,
                                                            const dateperiods::CivilDateTime& now);

}  // namespace optionrules
