#include "ui/pages/SaveingOptionDlg.h"

#include <algorithm>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>
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

namespace {

// The criteria lists' rectangles hold a few rows fewer than the lists have.
// Their rows are stretched so that the rows shown fill the viewport exactly,
// and the list scrolls a whole row at a time: no row is ever shown cut in
// half, and the rest are a scroll away.
class WholeRowsDelegate : public QStyledItemDelegate {
public:
  explicit WholeRowsDelegate(QTreeWidget* list) : QStyledItemDelegate(list), m_pList(list) {
    list->viewport()->installEventFilter(this);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (m_nRowHeight > size.height()) size.setHeight(m_nRowHeight);
    return size;
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show) Fit();
    return QStyledItemDelegate::eventFilter(watched, event);
  }

private:
  void Fit() {
    const int nViewport = m_pList->viewport()->height();
    // The rows' own height, as the view measures them (check box included).
    const int nStretched = m_nRowHeight;
    m_nRowHeight = 0;
    const int nNatural = m_pList->sizeHintForRow(0);
    m_nRowHeight = nStretched;
    if (nViewport <= 0 || nNatural <= 0) return;
    const int nRows = std::max(1, nViewport / nNatural);
    const int nHeight = nViewport / nRows;
    if (nHeight == m_nRowHeight) return;
    m_nRowHeight = nHeight;
    emit sizeHintChanged(m_pList->model()->index(0, 0));
    m_pList->doItemsLayout();
  }

  QTreeWidget* m_pList;  // not owned: the list is the delegate's parent
  int m_nRowHeight = 0;
};

}  // namespace

void SaveingOptionDlg::SetUpList(int id, const char16_t* const* rows, std::size_t nRows) {
  auto* list = DlgItem<QTreeWidget>(id);
  list->setColumnCount(1);
  list->setHeaderLabels({QStringLiteral("Comparison Fields ")});
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(0, 200);
  list->setUniformRowHeights(true);
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  list->setItemDelegate(new WholeRowsDelegate(list));
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
