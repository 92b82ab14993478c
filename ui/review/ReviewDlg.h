// The review window: the duplicates a preview found, before anything is
// removed. Groups as rows (kept document first, then its duplicates), each
// duplicate with a check box: ticked = remove, unticked = spare (Space
// toggles the current row's). Selecting a
// duplicate shows it beside its kept document field by field, every field of
// its kind (compared or not) and its size, with the fields that differ
// marked, and the line picked there shown whole below it. Order by any
// column's value (its header, again for the reverse, or the Order box),
// filter by folder, by database and by sender, tick or untick every row
// shown, export the
// review as report JSON (what tarnwick-cli --spare reads) or as CSV.
//
// The window edits the review it is given; the page that owns the review
// reads the ticks when Start Process runs.
//
// Threads: user-interface thread.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "engine/report/DocumentFields.h"
#include "engine/report/Review.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTreeView;
class QTreeWidget;
class ReviewModel;

class ReviewDlg : public QDialog {
  Q_OBJECT
public:
  // Reads both documents of a row for the side-by-side view; the default
  // opens the database (report::CompareDocuments). Empty pairs and a text:
  // the reason they could not be read.
  using Comparer = std::function<std::vector<report::FieldPair>(
      const report::Review&, const report::Review::Row&, std::u16string* strError)>;

  // review: not owned, must outlive the window.
  ReviewDlg(report::Review& review, QWidget* parent, Comparer comparer = {});
  ~ReviewDlg() override;

  // A line above the rows about the user's earlier choices (kept, or reset
  // and why); empty hides it.
  void SetNotice(const QString& text);
  QString Notice() const;

  ReviewModel* Model() const { return m_pModel; }
  QTreeView* Rows() const { return m_pRows; }
  QTreeWidget* Comparison() const { return m_pComparison; }

  // The reviewed report (ticked duplicates only) as JSON, or every row as
  // CSV, written whole to path. False with *error naming the file and the
  // problem.
  bool ExportJson(const QString& path, QString* error);
  bool ExportCsv(const QString& path, QString* error);

  // Draws the window with sample contents (no database is read) to PNG
  // files in dir, for tarnwick --render-pages: 134-review-window.png (a
  // duplicate beside its kept item, one duplicate unticked) and
  // 134-review-window-by-sender.png (ordered by sender, one folder shown).
  // False, with the reason on standard error, when a file is not written.
  static bool RenderScreenshots(QWidget* parent, const QString& dir);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void OnSelectionChanged();
  void OnHeaderClicked(int column);
  void ShowWhole();
  void OnFilterChanged();
  void OnExport(bool bJson);
  void UpdateSummary();
  void ShowPairs(const std::vector<report::FieldPair>& pairs, NOTEID keptId, NOTEID duplicateId);

  report::Review& m_review;   // not owned
  Comparer m_comparer;
  ReviewModel* m_pModel;      // owned by this window (Qt parent)
  QTreeView* m_pRows;         // child widgets below: owned by this window
  QTreeWidget* m_pComparison;
  QLabel* m_pSummary;
  QLabel* m_pNotice;
  QPlainTextEdit* m_pWhole;   // the selected comparison line's values, whole
  QComboBox* m_pDatabase;     // shown when the review holds several databases
  bool m_bDescending = false;
  QLabel* m_pComparisonNote;
  QComboBox* m_pFolder;
  QComboBox* m_pOrder;
  QLineEdit* m_pSender;
};
