// The review window's model: one row per document of the review (engine/
// report/Review.h), the kept document of each group first, then its
// duplicates, each duplicate with a check box (ticked = remove). A thin
// table over the review: no item objects, rows computed when the view asks,
// so 100,000 groups cost only the review's own index.
//
// Sorting by a column (groups ordered by their kept document's value) and
// filtering rearrange the review and reset the model; the Remove column
// keeps the judged order. The Remove column says what Start Process does:
// "remove" (ticked), "kept" (unticked), and for the kept document the rule
// that kept it.
//
// Threads: user-interface thread.
#pragma once

#include <QAbstractTableModel>

#include "engine/report/Review.h"

class ReviewModel : public QAbstractTableModel {
  Q_OBJECT
public:
  enum Column { kRemove, kNoteId, kFolder, kSender, kSubject, kDate, kSize, kAttachments, kDatabase,
                kColumnCount };

  // review: not owned; must outlive the model.
  explicit ReviewModel(report::Review& review, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // Rebuilds the rows for a new order or filter.
  void Arrange(const report::Review::Arrangement& arrangement);
  // Ticks or unticks every duplicate now shown.
  void TickShown(bool bTicked);
  report::Review::Row RowAt(int row) const { return m_review.RowAt(static_cast<std::size_t>(row)); }
  const report::Review& GetReview() const { return m_review; }

  // "1.5 KB" and the like.
  static QString SizeText(std::uint32_t nBytes);
  // The order a click on column's header asks for (judged: none).
  static report::Review::Order OrderOf(int column);
  // The rule that chose a group's kept document, as the Remove column and
  // its tooltip name it.
  QString KeepRuleText(std::uint32_t nGroup) const;

signals:
  // The number of ticked duplicates changed.
  void TicksChanged();

private:
  report::Review& m_review;  // not owned
};
