#include "ui/pages/SaveingOptionDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>

#include "engine/RunSettings.h"
#include "platform/Paths.h"
#include "ui/pages/SaveingOptionDlgRules.h"
#include "ui/win/Shell.h"

SaveingOptionDlg::SaveingOptionDlg(RunSettings& settings, frame::CWizardPage* pCreator)
    : frame::CWizardPage(kTemplateId, settings, pCreator) {}

bool SaveingOptionDlg::OnInitDialog() {
  CheckDlgButton(kMailGroup, true);
  CheckDlgButton(kContactGroup, true);
  SelectNewFileMode();
  SetUpList(kMailList, criteriarules::kMailRows.data(), criteriarules::kMailRows.size());
  SetUpList(kContactList, criteriarules::kContactRows.data(), criteriarules::kContactRows.size());
  auto* combo = DlgItem<QComboBox>(kActionCombo);
  for (const char16_t* action : criteriarules::kActions) {
    combo->addItem(QString::fromStdU16String(action));
  }
  combo->setCurrentIndex(0);

  // The lists keep their check marks while their group is off.
  connect(DlgItem<QAbstractButton>(kMailGroup), &QAbstractButton::toggled, this,
          [this](bool bOn) { EnableDlgItem(kMailList, bOn); });
  connect(DlgItem<QAbstractButton>(kContactGroup), &QAbstractButton::toggled, this,
          [this](bool bOn) { EnableDlgItem(kContactList, bOn); });
  connect(DlgItem<QAbstractButton>(kNewFileMode), &QAbstractButton::clicked, this,
          &SaveingOptionDlg::SelectNewFileMode);
  connect(DlgItem<QAbstractButton>(kOriginalMode), &QAbstractButton::clicked, this,
          &SaveingOptionDlg::SelectOriginalMode);
  connect(combo, &QComboBox::currentIndexChanged, this, &SaveingOptionDlg::OnActionChanged);
  connect(DlgItem<QAbstractButton>(kBrowse), &QAbstractButton::clicked, this,
          &SaveingOptionDlg::OnBrowse);
  return true;
}

void SaveingOptionDlg::SetUpList(int id, const char16_t* const* rows, std::size_t nRows) {
  auto* list = DlgItem<QTreeWidget>(id);
  list->setColumnCount(1);
  list->setHeaderLabels({QStringLiteral("Comparison Fields ")});
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(0, 200);
  for (std::size_t i = 0; i < nRows; ++i) {
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, QString::fromStdU16String(rows[i]));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
  }
}

void SaveingOptionDlg::SelectNewFileMode() {
  CheckDlgButton(kOriginalMode, false);
  EnableDlgItem(kActionCombo, false);
  CheckDlgButton(kNewFileMode, true);
  EnableDlgItem(kSavingPath, true);
  EnableDlgItem(kBrowse, true);
  EnableDlgItem(kFolderEdit, false);
}

void SaveingOptionDlg::SelectOriginalMode() {
  CheckDlgButton(kOriginalMode, true);
  EnableDlgItem(kActionCombo, true);
  CheckDlgButton(kNewFileMode, false);
  EnableDlgItem(kSavingPath, false);
  EnableDlgItem(kBrowse, false);
  EnableDlgItem(kFolderEdit, true);
}

void SaveingOptionDlg::OnActionChanged(int nIndex) {
  const bool bShow = criteriarules::ActionNeedsFolder(nIndex);
  ShowDlgItem(kFolderLabel, bShow);
  ShowDlgItem(kFolderEdit, bShow);
}

void SaveingOptionDlg::OnBrowse() {
  // Cancel leaves the typed or earlier chosen location as it is.
  // The browser starts at the desktop folder.
  const QString folder = win::BrowseForFolder(nullptr, QStringLiteral("Select Folder"),
                                              QString::fromStdString(platform::DesktopFolder()));
  if (!folder.isEmpty()) {
    SetDlgItemText(kSavingPath, folder);
  }
}

std::vector<bool> SaveingOptionDlg::RowChecks(int id) const {
  std::vector<bool> checks;
  const auto* list = DlgItem<QTreeWidget>(id);
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    checks.push_back(list->topLevelItem(i)->checkState(0) == Qt::Checked);
  }
  return checks;
}

void SaveingOptionDlg::OnNext() {
  criteriarules::CriteriaChoices choices;
  choices.bNewFiles = IsDlgButtonChecked(kNewFileMode);
  choices.strSavingPath = GetDlgItemText(kSavingPath).toStdU16String();
  choices.nAction = DlgItem<QComboBox>(kActionCombo)->currentIndex();
  choices.strSubFolder = GetDlgItemText(kFolderEdit).toStdU16String();
  choices.bMailCriteria = IsDlgButtonChecked(kMailGroup);
  choices.vecMailRows = RowChecks(kMailList);
  choices.bContactCriteria = IsDlgButtonChecked(kContactGroup);
  choices.vecContactRows = RowChecks(kContactList);
  if (auto message = criteriarules::ApplyCriteriaNext(m_settings, choices)) {
    Notice(QString::fromStdU16String(*message));
    return;
  }
  OpenNextPage(134, m_pNextPage);
}

void SaveingOptionDlg::FillSampleContents() {
  SelectOriginalMode();
  DlgItem<QComboBox>(kActionCombo)->setCurrentIndex(2);
  SetDlgItemText(kFolderEdit, QStringLiteral("Duplicates"));
  DlgItem<QTreeWidget>(kMailList)->topLevelItem(4)->setCheckState(0, Qt::Unchecked);
  DlgItem<QTreeWidget>(kContactList)->topLevelItem(5)->setCheckState(0, Qt::Unchecked);
}
