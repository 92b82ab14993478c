#include "ui/review/ReviewModel.h"

#include <QBrush>
#include <QFileInfo>
#include <QFont>
#include <QPalette>

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ReviewModel::ReviewModel(report::Review& review, QObject* parent)
    : QAbstractTableModel(parent), m_review(review) {}

int ReviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_review.RowCount());
}

int ReviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QString ReviewModel::SizeText(std::uint32_t nBytes) {
  if (nBytes < 1024) return QStringLiteral("%1 B").arg(nBytes);
  if (nBytes < 1024 * 1024) return QStringLiteral("%1 KB").arg(static_cast<double>(nBytes) / 1024.0, 0, 'f', 1);
  return QStringLiteral("%1 MB").arg(static_cast<double>(nBytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

QVariant ReviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const report::Review::Row row = RowAt(index.row());
  const bool bKept = row.nMember < 0;
  if (role == Qt::CheckStateRole && index.column() == kRemove && !bKept)
    return m_review.IsTicked(row) ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::FontRole && bKept) {
    QFont font;
    font.setBold(true);
    return font;
  }
  if (role == Qt::BackgroundRole && bKept) return QPalette().brush(QPalette::AlternateBase);
  if (role == Qt::ToolTipRole && index.column() == kDatabase)
    return QString::fromStdU16String(m_review.DatabaseOf(row.nGroup).strPath);
  if (role == Qt::ToolTipRole && index.column() == kRemove)
    return bKept ? QStringLiteral("Kept: the %1 of its group").arg(KeepRuleText(row.nGroup))
           : m_review.IsTicked(row) ? QStringLiteral("Ticked: Start Process removes it (Space unticks)")
                                    : QStringLiteral("Unticked: Start Process keeps it (Space ticks)");
  if (role == Qt::ToolTipRole && index.column() != kRemove) return data(index, Qt::DisplayRole);
  if (role != Qt::DisplayRole) return {};
  const report::Member& member = m_review.MemberOf(row);
  switch (index.column()) {
    case kRemove:
      return bKept ? QStringLiteral("kept: ") + KeepRuleText(row.nGroup)
                   : m_review.IsTicked(row) ? QStringLiteral("remove") : QStringLiteral("kept");
    case kNoteId: return QString::number(member.id);
    case kFolder: return QString::fromStdU16String(m_review.FolderOf(row.nGroup));
    case kSender: return FromUtf8(m_review.CellAt(row, report::kSender));
    case kSubject: return FromUtf8(m_review.CellAt(row, report::kSubject));
    case kDate: return FromUtf8(m_review.CellAt(row, report::kDate)).replace(QLatin1Char('T'), QLatin1Char(' '));
    case kSize: return SizeText(member.nSizeBytes);
    case kAttachments: return FromUtf8(m_review.CellAt(row, report::kAttachments));
    case kDatabase:
      return QFileInfo(QString::fromStdU16String(m_review.DatabaseOf(row.nGroup).strPath)).fileName();
    default: return {};
  }
}

QVariant ReviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumnCount] = {"Remove", "Note ID", "Folder",      "Sender",  "Subject",
                                                    "Date",   "Size",    "Attachments", "Database"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

Qt::ItemFlags ReviewModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kRemove && RowAt(index.row()).nMember >= 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool ReviewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != kRemove) return false;
  const report::Review::Row row = RowAt(index.row());
  if (row.nMember < 0) return false;
  m_review.SetTicked(row, value.toInt() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole, Qt::DisplayRole, Qt::ToolTipRole});
  emit TicksChanged();
  return true;
}

report::Review::Order ReviewModel::OrderOf(int column) {
  using Order = report::Review::Order;
  switch (column) {
    case kNoteId: return Order::noteId;
    case kFolder: return Order::folder;
    case kSender: return Order::sender;
    case kSubject: return Order::subject;
    case kDate: return Order::date;
    case kSize: return Order::size;
    case kDatabase: return Order::database;
    default: return Order::judged;
  }
}

QString ReviewModel::KeepRuleText(std::uint32_t nGroup) const {
  // Every group keeps the document the run met first.
  (void)nGroup;
  return QStringLiteral("first found");
}

void ReviewModel::sort(int column, Qt::SortOrder order) {
  report::Review::Arrangement a = m_review.CurrentArrangement();
  a.order = OrderOf(column);
  a.bDescending = order == Qt::DescendingOrder && a.order != report::Review::Order::judged;
  Arrange(a);
}

void ReviewModel::Arrange(const report::Review::Arrangement& arrangement) {
  beginResetModel();
  m_review.Arrange(arrangement);
  endResetModel();
}

void ReviewModel::TickShown(bool bTicked) {
  for (std::size_t i = 0; i < m_review.RowCount(); ++i) m_review.SetTicked(m_review.RowAt(i), bTicked);
  if (rowCount() > 0)
    emit dataChanged(index(0, kRemove), index(rowCount() - 1, kRemove),
                     {Qt::CheckStateRole, Qt::DisplayRole, Qt::ToolTipRole});
  emit TicksChanged();
}
