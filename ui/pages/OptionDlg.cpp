#include "ui/pages/OptionDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "engine/RunSettings.h"
#include "ui/pages/OptionDlgRules.h"

namespace {

OptionDlg::Clock& ClockSlot() {
  static OptionDlg::Clock clock;
  return clock;
}

dateperiods::CivilDateTime Now() {
  if (ClockSlot()) {
    return ClockSlot()();
  }
  return dateperiods::FromDateTimeValue(DateTimeValue::CurrentTime());
}

QString Text(const std::u16string& text) { return QString::fromStdU16String(text); }

}  // namespace

OptionDlg::OptionDlg(RunSettings& settings, frame::CWizardPage* pCreator)
    : frame::CWizardPage(kTemplateId, settings, pCreator) {}

void OptionDlg::SetClockForTests(Clock clock) { ClockSlot() = std::move(clock); }

QTreeWidget* OptionDlg::RangeList() const { return DlgItem<QTreeWidget>(kRangeList); }

bool OptionDlg::OnInitDialog() {
  // The pickers show dates only; the ranges carry the time of day at which
  // the page was opened, to the second, read from the same clock as the
  // predefined periods.
  const dateperiods::CivilDateTime now = Now();
  m_timePickersMade = QTime(now.nHour, now.nMinute, now.nSecond);

  QTreeWidget* list = RangeList();
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("Start Date"), QStringLiteral("End Date")});
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(0, 160);
  list->setColumnWidth(1, 160);

  SelectPredefinedMode();
  ApplyDateGroupRule();
  CheckDlgButton(kSameFolder, true);
  CheckDlgButton(kAcrossFile, false);
  CheckDlgButton(kExcludeAll, true);
  auto* combo = DlgItem<QComboBox>(kPeriodCombo);
  for (int i = 0; i < dateperiods::kPeriodCount; ++i) {
    combo->addItem(QString::fromStdU16String(dateperiods::PeriodText(i)));
  }
  combo->setCurrentIndex(0);

  connect(DlgItem<QAbstractButton>(kSameFolder), &QAbstractButton::clicked, this, [this] {
    CheckDlgButton(kSameFolder, true);
    CheckDlgButton(kAcrossFile, false);
  });
  connect(DlgItem<QAbstractButton>(kAcrossFile), &QAbstractButton::clicked, this, [this] {
    CheckDlgButton(kSameFolder, false);
    CheckDlgButton(kAcrossFile, true);
  });
  connect(DlgItem<QAbstractButton>(kDateRange), &QAbstractButton::clicked, this,
          &OptionDlg::ApplyDateGroupRule);
  connect(DlgItem<QAbstractButton>(kPredefined), &QAbstractButton::clicked, this,
          &OptionDlg::SelectPredefinedMode);
  connect(DlgItem<QAbstractButton>(kManual), &QAbstractButton::clicked, this,
          &OptionDlg::SelectManualMode);
  connect(DlgItem<QAbstractButton>(kAdd), &QAbstractButton::clicked, this, &OptionDlg::OnAdd);
  connect(DlgItem<QAbstractButton>(kRemove), &QAbstractButton::clicked, this, &OptionDlg::OnRemove);
  return true;
}

void OptionDlg::SetManualControlsEnabled(bool bEnable) {
  for (int id : {kStartDate, kEndDate, kRangeList, kAdd, kRemove}) {
    EnableDlgItem(id, bEnable);
  }
}

void OptionDlg::SelectPredefinedMode() {
  CheckDlgButton(kPredefined, true);
  EnableDlgItem(kPeriodCombo, true);
  CheckDlgButton(kManual, false);
  SetManualControlsEnabled(false);
}

void OptionDlg::SelectManualMode() {
  CheckDlgButton(kPredefined, false);
  EnableDlgItem(kPeriodCombo, false);
  CheckDlgButton(kManual, true);
  SetManualControlsEnabled(true);
}

void OptionDlg::ApplyDateGroupRule() {
  if (IsDlgButtonChecked(kDateRange)) {
    EnableDlgItem(kPredefined, true);
    EnableDlgItem(kManual, true);
    SelectPredefinedMode();
    return;
  }
  for (int id : {kPredefined, kPeriodCombo, kManual}) {
    EnableDlgItem(id, false);
  }
  SetManualControlsEnabled(false);
}

DateTimeValue OptionDlg::PickerValue(int id) const {
  const QDate date = DlgItem<QDateEdit>(id)->date();
  return DateTimeValue(date.year(), date.month(), date.day(), m_timePickersMade.hour(),
                       m_timePickersMade.minute(), m_timePickersMade.second());
}

void OptionDlg::OnAdd() {
  const DateTimeValue start = PickerValue(kStartDate);
  const DateTimeValue end = PickerValue(kEndDate);
  std::vector<optionrules::ListRow> rows;
  QTreeWidget* list = RangeList();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    rows.push_back({item->text(0).toStdU16String(), item->text(1).toStdU16String()});
  }
  switch (optionrules::CheckAddRange(start, end, rows)) {
  case optionrules::AddVerdict::endBeforeStart:
    Notice(Text(optionrules::kEndBeforeStart));
    return;
  case optionrules::AddVerdict::alreadyListed:
    return;
  case optionrules::AddVerdict::add:
    break;
  }
  m_settings.m_vecDateRanges.push_back(DateRange{start, end});
  AddRange(DateRange{start, end});
}

void OptionDlg::AddRange(const DateRange& range) {
  m_vecListRanges.push_back(range);
  auto* item = new QTreeWidgetItem(RangeList());
  item->setText(0, Text(dateperiods::FormatListDate(range.dtStart)));
  item->setText(1, Text(dateperiods::FormatListDate(range.dtEnd)));
}

void OptionDlg::OnRemove() {
  // The selection mark: the row most recently selected, if it still is.
  QTreeWidget* list = RangeList();
  QTreeWidgetItem* mark = list->currentItem();
  if (mark == nullptr || !mark->isSelected()) {
    return;
  }
  const int nIndex = list->indexOfTopLevelItem(mark);
  if (nIndex < 0) {
    return;
  }
  delete list->takeTopLevelItem(nIndex);
  const auto index = static_cast<std::size_t>(nIndex);
  if (index < m_vecListRanges.size()) {
    m_vecListRanges.erase(m_vecListRanges.begin() + nIndex);
  }
  // The run settings may hold fewer ranges than the list shows (a predefined
  // Next on an earlier visit replaced them): never erase past their end.
  if (index < m_settings.m_vecDateRanges.size()) {
    m_settings.m_vecDateRanges.erase(m_settings.m_vecDateRanges.begin() + nIndex);
  }
}

int OptionDlg::SelectedPeriod() const {
  // A text typed into the box that names no period is no selection.
  const auto* combo = DlgItem<QComboBox>(kPeriodCombo);
  const int nIndex = combo->currentIndex();
  if (nIndex < 0 || combo->currentText() != combo->itemText(nIndex)) {
    return -1;
  }
  return nIndex;
}

void OptionDlg::OnNext() {
  optionrules::OptionChoices choices;
  choices.bSameFolderScope = IsDlgButtonChecked(kSameFolder);
  choices.bExcludeAllFolder = IsDlgButtonChecked(kExcludeAll);
  choices.bTimeFormatHM = IsDlgButtonChecked(kTimeFormatHM);
  choices.bDateFilter = IsDlgButtonChecked(kDateRange);
  choices.bPredefinedMode = IsDlgButtonChecked(kPredefined);
  choices.nPeriodIndex = SelectedPeriod();
  choices.vecListRanges = m_vecListRanges;
  if (auto message = optionrules::ApplyOptionNext(m_settings, choices, Now())) {
    Notice(Text(*message));
    return;
  }
  OpenNextPage(133, m_pNextPage);
}

void OptionDlg::OnBack() {
  if (m_settings.m_bMultipleFiles == 1) {
    m_settings.m_vecFilePaths.clear();
  } else {
    m_settings.m_vecSelectedFolders.clear();
  }
  GoBack();
}

void OptionDlg::FillSampleContents() {
  CheckDlgButton(kDateRange, true);
  ApplyDateGroupRule();
  SelectManualMode();
  AddRange(DateRange{DateTimeValue(2010, 3, 1, 9, 0, 0), DateTimeValue(2010, 3, 14, 9, 0, 0)});
  AddRange(DateRange{DateTimeValue(2011, 1, 1, 9, 0, 0), DateTimeValue(2011, 6, 30, 9, 0, 0)});
  DlgItem<QDateEdit>(kStartDate)->setDate(QDate(2011, 7, 1));
  DlgItem<QDateEdit>(kEndDate)->setDate(QDate(2011, 12, 31));
}
