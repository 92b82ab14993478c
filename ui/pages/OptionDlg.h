// The search scope and date filter page (template 130). The user chooses
// whether duplicates are searched within each folder or across the whole
// database, whether the view "($All)" is skipped, whether the date-and-time
// criterion ignores seconds, and an optional date limit: one predefined
// period ("Last 1 week Items" ...) or a list of manual date ranges. Next
// writes these into the run settings and opens the criteria and action page
// (133); Back empties the source list the previous page's Next filled.
//
// The manual ranges: the list's rows and m_vecListRanges correspond one to
// one. Next in manual mode stores exactly those ranges as m_vecDateRanges,
// so the run filters by what the user sees, whatever earlier visits to the
// page left in the run settings.
//
// User-interface thread only.
#pragma once

#include <QTime>
#include <functional>
#include <vector>

#include "engine/DatePeriods.h"
#include "ui/frame/WizardPage.h"

class QTreeWidget;

class OptionDlg : public frame::CWizardPage {
  Q_OBJECT
public:
  static constexpr int kTemplateId = 130;
  static constexpr int kSameFolder = 1023;
  static constexpr int kExcludeAll = 1034;
  static constexpr int kAcrossFile = 1024;
  static constexpr int kTimeFormatHM = 1037;
  static constexpr int kDateRange = 1031;
  static constexpr int kPredefined = 1025;
  static constexpr int kPeriodCombo = 1026;
  static constexpr int kManual = 1027;
  static constexpr int kStartDate = 1028;
  static constexpr int kEndDate = 1029;
  static constexpr int kRangeList = 1035;
  static constexpr int kAdd = 1030;
  static constexpr int kRemove = 1018;

  OptionDlg(RunSettings& settings, frame::CWizardPage* pCreator);

  // The local date and time Next reads for the predefined periods; tests
  // put a fixed instant here. An empty function restores the clock.
  using Clock = std::function<dateperiods::CivilDateTime()>;
  static void SetClockForTests(Clock clock);

  // The ranges behind the list's rows, in the list's order.
  const std::vector<DateRange>& ListRanges() const { return m_vecListRanges; }

  void FillSampleContents() override;

protected:
  bool OnInitDialog() override;
  void OnNext() override;
  void OnBack() override;

private:
  void SelectPredefinedMode();
  void SelectManualMode();
  void ApplyDateGroupRule();
  void SetManualControlsEnabled(bool bEnable);
  void OnAdd();
  void OnRemove();
  void AddRange(const DateRange& range);
  int SelectedPeriod() const;
  DateTimeValue PickerValue(int id) const;
  QTreeWidget* RangeList() const;

  std::vector<DateRange> m_vecListRanges;  // one per row of the range list
  QTime m_timePickersMade;                 // the time of day the pickers' values carry
};
