#include "ui/review/ReviewDlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
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

QString Elided(const std::u16string& text, int nChars = 300) {
  // A whole body would make one row as tall as the window; the pane below
  // the comparison shows it whole.
  QString shown = QString::fromStdU16String(text);
  return shown.size() > nChars ? shown.left(nChars) + QStringLiteral("…") : shown;
}

// A tooltip wraps only rich text; the value is escaped so that it is read
// as written.
QString WrappedTip(const std::u16string& text) {
  return QStringLiteral("<p style='white-space:pre-wrap'>") + Elided(text, 2000).toHtmlEscaped() +
         QStringLiteral("</p>");
}

constexpr int kValueRole = Qt::UserRole;  // a comparison cell's whole value

}  // namespace

ReviewDlg::ReviewDlg(report::Review& review, QWidget* parent, Comparer comparer)
    : QDialog(parent), m_review(review), m_comparer(comparer ? std::move(comparer) : CompareFromDatabase) {
  setWindowTitle(QStringLiteral("Review duplicates - %1").arg(QString::fromLatin1(win::kCaption)));
  resize(960, 640);
  m_pModel = new ReviewModel(review, this);

  m_pSummary = new QLabel(this);
  m_pNotice = new QLabel(this);
  m_pNotice->setWordWrap(true);
  m_pNotice->setVisible(false);
  m_pDatabase = new QComboBox(this);
  m_pDatabase->addItem(QStringLiteral("All databases"));
  for (const report::DatabaseGroups& db : review.Source().databases) {
    m_pDatabase->addItem(QFileInfo(QString::fromStdU16String(db.strPath)).fileName(),
                         QString::fromStdU16String(db.strPath));
    m_pDatabase->setItemData(m_pDatabase->count() - 1, QString::fromStdU16String(db.strPath), Qt::ToolTipRole);
  }
  const bool bSeveral = review.Source().databases.size() > 1;
  m_pFolder = new QComboBox(this);
  m_pFolder->addItem(QStringLiteral("All folders"));
  for (const std::u16string& folder : review.Folders()) m_pFolder->addItem(QString::fromStdU16String(folder));
  m_pSender = new QLineEdit(this);
  m_pSender->setPlaceholderText(QStringLiteral("any sender"));
  m_pSender->setClearButtonEnabled(true);
  m_pOrder = new QComboBox(this);
  // In the order of report::Review::Order.
  m_pOrder->addItems({QStringLiteral("As judged"), QStringLiteral("By folder"), QStringLiteral("By sender"),
                      QStringLiteral("By subject"), QStringLiteral("By date"), QStringLiteral("By size"),
                      QStringLiteral("By note ID"), QStringLiteral("By database")});
  auto* filters = new QHBoxLayout;
  auto* folderLabel = new QLabel(QStringLiteral("&Folder:"), this);
  folderLabel->setBuddy(m_pFolder);
  filters->addWidget(folderLabel);
  filters->addWidget(m_pFolder, 1);
  auto* databaseLabel = new QLabel(QStringLiteral("&Database:"), this);
  databaseLabel->setBuddy(m_pDatabase);
  filters->addWidget(databaseLabel);
  filters->addWidget(m_pDatabase, 1);
  databaseLabel->setVisible(bSeveral);
  m_pDatabase->setVisible(bSeveral);
  auto* senderLabel = new QLabel(QStringLiteral("&Sender contains:"), this);
  senderLabel->setBuddy(m_pSender);
  filters->addWidget(senderLabel);
  filters->addWidget(m_pSender, 1);
  auto* orderLabel = new QLabel(QStringLiteral("&Order:"), this);
  orderLabel->setBuddy(m_pOrder);
  filters->addWidget(orderLabel);
  filters->addWidget(m_pOrder);

  m_pRows = new QTreeView(this);
  m_pRows->setRootIsDecorated(false);
  m_pRows->setUniformRowHeights(true);  // what keeps 100,000 groups quick to scroll
  m_pRows->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pRows->setModel(m_pModel);
  m_pRows->header()->setSortIndicatorShown(false);
  m_pRows->header()->setSectionsClickable(true);
  m_pRows->installEventFilter(this);
  for (int c : {ReviewModel::kFolder, ReviewModel::kSender, ReviewModel::kSubject})
    m_pRows->setColumnWidth(c, 170);
  m_pRows->setColumnWidth(ReviewModel::kRemove, 130);
  if (bSeveral) {
    // Which database a row is in matters as much as its folder: beside it,
    // where the default width shows it.
    m_pRows->header()->moveSection(m_pRows->header()->visualIndex(ReviewModel::kDatabase), 2);
    m_pRows->setColumnWidth(ReviewModel::kDatabase, 150);
  }

  m_pComparisonNote = new QLabel(QStringLiteral("Select a duplicate to see it beside its kept item."), this);
  m_pComparisonNote->setWordWrap(true);
  m_pComparison = new QTreeWidget(this);
  m_pComparison->setRootIsDecorated(false);
  m_pComparison->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Compared"),
                                  QStringLiteral("Kept item"), QStringLiteral("Duplicate")});
  m_pComparison->setColumnWidth(kField, 110);
  m_pComparison->setColumnWidth(kCompared, 100);
  m_pComparison->setColumnWidth(kKeptValue, 360);
  m_pWhole = new QPlainTextEdit(this);
  m_pWhole->setReadOnly(true);
  m_pWhole->setPlaceholderText(QStringLiteral("Pick a line of the comparison to read its values whole."));
  auto* lower = new QWidget(this);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->addWidget(m_pComparisonNote);
  auto* lowerSplitter = new QSplitter(Qt::Horizontal, lower);
  lowerSplitter->addWidget(m_pComparison);
  lowerSplitter->addWidget(m_pWhole);
  lowerSplitter->setStretchFactor(0, 3);
  lowerSplitter->setStretchFactor(1, 1);
  lowerLayout->addWidget(lowerSplitter);
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
  layout->addWidget(m_pNotice);
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
  connect(m_pRows->header(), &QHeaderView::sectionClicked, this, &ReviewDlg::OnHeaderClicked);
  connect(m_pComparison, &QTreeWidget::currentItemChanged, this, &ReviewDlg::ShowWhole);
  connect(m_pFolder, &QComboBox::currentIndexChanged, this, &ReviewDlg::OnFilterChanged);
  connect(m_pDatabase, &QComboBox::currentIndexChanged, this, &ReviewDlg::OnFilterChanged);
  connect(m_pOrder, &QComboBox::currentIndexChanged, this, [this] {
    m_bDescending = false;
    OnFilterChanged();
  });
  connect(m_pSender, &QLineEdit::textChanged, this, &ReviewDlg::OnFilterChanged);
  connect(tickAll, &QPushButton::clicked, this, [this] { m_pModel->TickShown(true); });
  connect(untickAll, &QPushButton::clicked, this, [this] { m_pModel->TickShown(false); });
  connect(exportJson, &QPushButton::clicked, this, [this] { OnExport(true); });
  connect(exportCsv, &QPushButton::clicked, this, [this] { OnExport(false); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  UpdateSummary();
}

ReviewDlg::~ReviewDlg() = default;

void ReviewDlg::SetNotice(const QString& text) {
  m_pNotice->setText(text);
  m_pNotice->setVisible(!text.isEmpty());
}

QString ReviewDlg::Notice() const { return m_pNotice->text(); }

bool ReviewDlg::eventFilter(QObject* watched, QEvent* event) {
  // Space ticks or unticks the current row whichever of its cells has the
  // focus (the view itself toggles only a focused check-box cell).
  if (watched == m_pRows && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    const QModelIndex current = m_pRows->currentIndex();
    if (current.isValid()) {
      const QModelIndex tick = m_pModel->index(current.row(), ReviewModel::kRemove);
      if (tick.flags() & Qt::ItemIsUserCheckable) {
        const bool bTicked = tick.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        m_pModel->setData(tick, bTicked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
      }
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void ReviewDlg::OnHeaderClicked(int column) {
  const report::Review::Order order = ReviewModel::OrderOf(column);
  // A second click on the column that orders the rows reverses them.
  m_bDescending = order != report::Review::Order::judged && m_pOrder->currentIndex() == static_cast<int>(order)
                      ? !m_bDescending
                      : false;
  {
    const QSignalBlocker quiet(m_pOrder);
    m_pOrder->setCurrentIndex(static_cast<int>(order));
  }
  m_pRows->header()->setSortIndicatorShown(order != report::Review::Order::judged);
  m_pRows->header()->setSortIndicator(column, m_bDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  OnFilterChanged();
}

void ReviewDlg::ShowWhole() {
  const QTreeWidgetItem* item = m_pComparison->currentItem();
  if (!item) {
    m_pWhole->clear();
    return;
  }
  m_pWhole->setPlainText(item->text(kField) + QStringLiteral("\n\n") + m_pComparison->headerItem()->text(kKeptValue) +
                         QStringLiteral(":\n") + item->data(kKeptValue, kValueRole).toString() +
                         QStringLiteral("\n\n") + m_pComparison->headerItem()->text(kDuplicateValue) +
                         QStringLiteral(":\n") + item->data(kDuplicateValue, kValueRole).toString());
}

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
  a.bDescending = m_bDescending;
  if (a.order == report::Review::Order::judged) m_pRows->header()->setSortIndicatorShown(false);
  if (m_pFolder->currentIndex() > 0) a.strFolder = m_pFolder->currentText().toStdU16String();
  if (m_pDatabase->currentIndex() > 0) a.strDatabase = m_pDatabase->currentData().toString().toStdU16String();
  a.strSender = m_pSender->text().toStdU16String();
  m_pModel->Arrange(a);
}

void ReviewDlg::OnSelectionChanged() {
  const QModelIndexList selected = m_pRows->selectionModel()->selectedRows();
  m_pComparison->clear();
  m_pWhole->clear();
  // No stale ids over an empty table.
  m_pComparison->headerItem()->setText(kKeptValue, QStringLiteral("Kept item"));
  m_pComparison->headerItem()->setText(kDuplicateValue, QStringLiteral("Duplicate"));
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
    item->setData(kKeptValue, kValueRole, QString::fromStdU16String(p.strKept));
    item->setData(kDuplicateValue, kValueRole, QString::fromStdU16String(p.strDuplicate));
    item->setToolTip(kKeptValue, WrappedTip(p.strKept));
    item->setToolTip(kDuplicateValue, WrappedTip(p.strDuplicate));
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
