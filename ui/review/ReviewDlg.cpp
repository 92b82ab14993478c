#include "ui/review/ReviewDlg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "engine/report/ReportFile.h"
#include "ui/review/ReviewModel.h"
#include "ui/win/MessageBox.h"

namespace {

enum ComparisonColumn { kField, kCompared, kKeptValue, kDuplicateValue };

std::vector<report::FieldPair> CompareFromDatabase(const report::Review& review,
                                                   const report::Review::Row& row,
                                                   std::u16string* strError) {
  const report::Group& g = review.GroupAt(row.nGroup);
  return report::CompareDocuments(review.DatabaseOf(row.nGroup).strPath, g.kind, g.nCompared,
                                  g.kept.id, review.MemberOf(row).id, strError);
}

QString Elided(const std::u16string& text) {
  // A whole body would make one row as tall as the window.
  QString shown = QString::fromStdU16String(text);
  return shown.size() > 300 ? shown.left(300) + QStringLiteral("…") : shown;
}

}  // namespace

ReviewDlg::ReviewDlg(report::Review& review, QWidget* parent, Comparer comparer)
    : QDialog(parent), m_review(review), m_comparer(comparer ? std::move(comparer) : CompareFromDatabase) {
  setWindowTitle(QStringLiteral("Review duplicates - %1").arg(QString::fromLatin1(win::kCaption)));
  resize(960, 640);
  m_pModel = new ReviewModel(review, this);

  m_pSummary = new QLabel(this);
  m_pFolder = new QComboBox(this);
  m_pFolder->addItem(QStringLiteral("All folders"));
  for (const std::u16string& folder : review.Folders()) m_pFolder->addItem(QString::fromStdU16String(folder));
  m_pSender = new QLineEdit(this);
  m_pSender->setPlaceholderText(QStringLiteral("any sender"));
  m_pSender->setClearButtonEnabled(true);
  m_pOrder = new QComboBox(this);
  m_pOrder->addItems({QStringLiteral("As judged"), QStringLiteral("By folder"), QStringLiteral("By sender")});
  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(QStringLiteral("Folder:"), this));
  filters->addWidget(m_pFolder, 1);
  filters->addWidget(new QLabel(QStringLiteral("Sender contains:"), this));
  filters->addWidget(m_pSender, 1);
  filters->addWidget(new QLabel(QStringLiteral("Order:"), this));
  filters->addWidget(m_pOrder);

  m_pRows = new QTreeView(this);
  m_pRows->setRootIsDecorated(false);
  m_pRows->setUniformRowHeights(true);  // what keeps 100,000 groups quick to scroll
  m_pRows->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pRows->setModel(m_pModel);
  m_pRows->header()->setSortIndicatorShown(false);
  m_pRows->header()->setSectionsClickable(true);
  for (int c : {ReviewModel::kFolder, ReviewModel::kSender, ReviewModel::kSubject})
    m_pRows->setColumnWidth(c, 170);

  m_pComparisonNote = new QLabel(QStringLiteral("Select a duplicate to see it beside its kept item."), this);
  m_pComparisonNote->setWordWrap(true);
  m_pComparison = new QTreeWidget(this);
  m_pComparison->setRootIsDecorated(false);
  m_pComparison->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Compared"),
                                  QStringLiteral("Kept item"), QStringLiteral("Duplicate")});
  m_pComparison->setColumnWidth(kField, 110);
  m_pComparison->setColumnWidth(kCompared, 100);
  m_pComparison->setColumnWidth(kKeptValue, 360);
  auto* lower = new QWidget(this);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->addWidget(m_pComparisonNote);
  lowerLayout->addWidget(m_pComparison);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(m_pRows);
  splitter->addWidget(lower);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);

  auto* tickAll = new QPushButton(QStringLiteral("Tick Shown"), this);
  auto* untickAll = new QPushButton(QStringLiteral("Untick Shown"), this);
  auto* exportJson = new QPushButton(QStringLiteral("Export JSON..."), this);
  auto* exportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setDefault(true);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {tickAll, untickAll, exportJson, exportCsv}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(close);
  tickAll->setToolTip(QStringLiteral("Tick every duplicate shown: Start Process removes them"));
  untickAll->setToolTip(QStringLiteral("Untick every duplicate shown: Start Process keeps them"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_pSummary);
  layout->addLayout(filters);
  layout->addWidget(splitter, 1);
  layout->addLayout(buttons);

  connect(m_pModel, &ReviewModel::TicksChanged, this, &ReviewDlg::UpdateSummary);
  connect(m_pModel, &QAbstractItemModel::modelReset, this, [this] {
    UpdateSummary();
    OnSelectionChanged();  // a reset drops the selection without saying so
  });
  connect(m_pRows->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ReviewDlg::OnSelectionChanged);
  connect(m_pRows->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (column == ReviewModel::kFolder) m_pOrder->setCurrentIndex(1);
    else if (column == ReviewModel::kSender) m_pOrder->setCurrentIndex(2);
  });
  connect(m_pFolder, &QComboBox::currentIndexChanged, this, &ReviewDlg::OnFilterChanged);
  connect(m_pOrder, &QComboBox::currentIndexChanged, this, &ReviewDlg::OnFilterChanged);
  connect(m_pSender, &QLineEdit::textChanged, this, &ReviewDlg::OnFilterChanged);
  connect(tickAll, &QPushButton::clicked, this, [this] { m_pModel->TickShown(true); });
  connect(untickAll, &QPushButton::clicked, this, [this] { m_pModel->TickShown(false); });
  connect(exportJson, &QPushButton::clicked, this, [this] { OnExport(true); });
  connect(exportCsv, &QPushButton::clicked, this, [this] { OnExport(false); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  UpdateSummary();
}

ReviewDlg::~ReviewDlg() = default;

void ReviewDlg::UpdateSummary() {
  m_pSummary->setText(
      QStringLiteral("%1 groups of duplicates, %2 of %3 duplicates ticked for removal, %4 rows shown. "
                     "Untick a duplicate to keep it: Start Process then removes only the ticked ones.")
          .arg(m_review.GroupCount())
          .arg(m_review.TickedCount())
          .arg(m_review.DuplicateCount())
          .arg(m_review.RowCount()));
}

void ReviewDlg::OnFilterChanged() {
  report::Review::Arrangement a;
  a.order = static_cast<report::Review::Order>(m_pOrder->currentIndex());
  if (m_pFolder->currentIndex() > 0) a.strFolder = m_pFolder->currentText().toStdU16String();
  a.strSender = m_pSender->text().toStdU16String();
  m_pModel->Arrange(a);
}

void ReviewDlg::OnSelectionChanged() {
  const QModelIndexList selected = m_pRows->selectionModel()->selectedRows();
  m_pComparison->clear();
  if (selected.isEmpty() || m_pModel->RowAt(selected.front().row()).nMember < 0) {
    m_pComparisonNote->setText(QStringLiteral("Select a duplicate to see it beside its kept item."));
    return;
  }
  const report::Review::Row row = m_pModel->RowAt(selected.front().row());
  std::u16string error;
  const auto pairs = m_comparer(m_review, row, &error);
  if (pairs.empty()) {
    m_pComparisonNote->setText(QStringLiteral("The two items cannot be read: ") +
                               QString::fromStdU16String(error));
    return;
  }
  ShowPairs(pairs, m_review.GroupAt(row.nGroup).kept.id, m_review.MemberOf(row).id);
}

void ReviewDlg::ShowPairs(const std::vector<report::FieldPair>& pairs, NOTEID keptId,
                          NOTEID duplicateId) {
  m_pComparison->headerItem()->setText(kKeptValue, QStringLiteral("Kept item %1").arg(keptId));
  m_pComparison->headerItem()->setText(kDuplicateValue, QStringLiteral("Duplicate %1").arg(duplicateId));
  int nDiffering = 0;
  for (const report::FieldPair& p : pairs) {
    auto* item = new QTreeWidgetItem(m_pComparison);
    item->setText(kField, (p.bDiffers ? QStringLiteral("≠ ") : QString()) + QString::fromStdU16String(p.strName));
    item->setText(kCompared, p.bCompared ? QStringLiteral("compared") : QStringLiteral("not compared"));
    item->setText(kKeptValue, Elided(p.strKept));
    item->setText(kDuplicateValue, Elided(p.strDuplicate));
    item->setToolTip(kKeptValue, Elided(p.strKept));
    item->setToolTip(kDuplicateValue, Elided(p.strDuplicate));
    if (!p.bDiffers) continue;
    ++nDiffering;
    QFont bold = item->font(kField);
    bold.setBold(true);
    for (int c = 0; c < m_pComparison->columnCount(); ++c) {
      item->setFont(c, bold);
      item->setBackground(c, QColor(255, 236, 179));
    }
  }
  m_pComparisonNote->setText(nDiffering == 0   ? QStringLiteral("Every field is the same.")
                             : nDiffering == 1 ? QStringLiteral("1 field differs (marked ≠).")
                                               : QStringLiteral("%1 fields differ (marked ≠).").arg(nDiffering));
}

bool ReviewDlg::ExportJson(const QString& path, QString* error) {
  std::string message;
  const bool bOk = report::SaveTextFile(
      path.toStdString(), [this](const report::TextSink& write) { m_review.WriteJson(write); }, &message);
  if (!bOk && error) *error = QString::fromStdString(message);
  return bOk;
}

bool ReviewDlg::ExportCsv(const QString& path, QString* error) {
  std::string message;
  const bool bOk = report::SaveTextFile(path.toStdString(), m_review.ToCsv(), &message);
  if (!bOk && error) *error = QString::fromStdString(message);
  return bOk;
}

void ReviewDlg::OnExport(bool bJson) {
  const QString path = QFileDialog::getSaveFileName(
      this, bJson ? QStringLiteral("Export the review as a report") : QStringLiteral("Export the review as CSV"),
      bJson ? QStringLiteral("tarnwick-review.json") : QStringLiteral("tarnwick-review.csv"),
      bJson ? QStringLiteral("Report (*.json)") : QStringLiteral("CSV (*.csv)"));
  if (path.isEmpty()) return;
  QString error;
  if (!(bJson ? ExportJson(path, &error) : ExportCsv(path, &error))) win::MessageBoxNotice(this, error);
}
