// The Preview of the summary and progress page: the run's judgement as a
// dry run, then the review window, then the spare set Start Process takes.
//
// The page runs a preview on its own worker (so Stop, Cancel and the wait in
// its destructor work as for a run):
//   1. Begin(page) on the user-interface thread: the page's controls as
//      Start Process sets them (Stop and both bars shown; Back, Start Process
//      and Close disabled), the Notes session started afresh. No log file is
//      made and no row is added: a preview changes nothing.
//   2. RunOnWorker() on the worker: the dry run, its bars moving on the page.
//   3. Finish(parent) on the user-interface thread once the worker is done:
//      opens the review window (window-modal over parent), or returns the
//      text to show when the databases could not be read. A preview ended
//      by Stop opens nothing and leaves the previous review as it was.
//   4. Spare() when Start Process starts the run: the duplicates left ticked
//      in the latest review are the only ones the run may dispose of.
//
// The user's choices outlive the page: a later Preview (on this page or on
// one made by a later Next) unticks again what the earlier review left
// unticked, as long as the run settings that judged it (sources, folders,
// scope, date filter, criteria) are unchanged; a Start Process without a new
// Preview is bound by the earlier review the same way. Once those settings
// change, the next review starts with every duplicate ticked and says that
// the earlier choices were reset, and why.
//
// Mail sources (mbox, maildir) are judged in temporary databases that the
// run removes; the review window's comparison reads the source again, as
// the run reads it, into a temporary database of its own that lives as long
// as this preview's review.
//
// Threads: as above; the worker touches only the page (through RunPage) and
// the collector of the current preview.
#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/RunPage.h"
#include "engine/report/DocumentFields.h"
#include "engine/report/Review.h"
#include "engine/report/ReportCollector.h"
#include "engine/report/SpareSet.h"
#include "platform/File.h"

struct RunSettings;
class QWidget;
namespace mailio {
class MailSourceProvider;
}
class ReviewDlg;

class DuplicatePreview {
public:
  DuplicatePreview(RunSettings& settings, RunPage& page);
  ~DuplicatePreview();
  DuplicatePreview(const DuplicatePreview&) = delete;
  DuplicatePreview& operator=(const DuplicatePreview&) = delete;

  void Begin();
  void RunOnWorker();
  // Empty when the review window opened (or the preview was stopped); else
  // the rows that say why nothing could be judged.
  QString Finish(QWidget* parent);

  // The latest complete review, or null before one.
  report::Review* LatestReview() const { return m_pReview.get(); }
  ReviewDlg* Window() const;
  // Null when no preview completed for these run settings: the run then
  // spares nothing.
  const SparePredicate* Spare();
  // What the summary page says while a review binds Start Process; empty
  // when none does.
  QString ChoicesInForce();

  // What judged a review: the run settings whose change resets its choices.
  struct Judgement {
    std::vector<std::u16string> vecSources;
    std::vector<std::pair<std::u16string, std::uint32_t>> vecFolders;
    std::vector<std::uint8_t> vecScope;       // scope, "($All)", date filter, time format
    std::vector<double> vecRanges;            // each range's start and end
    std::vector<std::uint8_t> vecMail, vecContact;  // the criteria, group switches first
    bool operator==(const Judgement&) const = default;
  };
  static Judgement JudgementOf(const RunSettings& settings);
  // Why choices made under before do not hold under now ("the criteria
  // changed"); empty when they hold.
  static QString WhyReset(const Judgement& before, const Judgement& now);

private:
  // The page as the preview's run sees it: bars and buttons go through,
  // rows and messages stay here.
  class QuietPage : public RunPage {
  public:
    explicit QuietPage(RunPage& page) : m_page(page) {}
    void AddLogRow(const std::u16string& text) override { m_vecRows.push_back(text); }
    std::vector<std::u16string> GetLogRows() override { return {}; }
    void SetBarRange(int bar, int nLower, int nUpper) override { m_page.SetBarRange(bar, nLower, nUpper); }
    void SetBarPos(int bar, int nPos) override { m_page.SetBarPos(bar, nPos); }
    void ShowControl(int id, bool bShow) override { m_page.ShowControl(id, bShow); }
    void EnableControl(int id, bool bEnable) override { m_page.EnableControl(id, bEnable); }
    void SetStatusLine(const std::u16string&) override {}
    void ShowMessage(const std::u16string&) override {}
    std::vector<std::u16string> m_vecRows;

  private:
    RunPage& m_page;
  };

  // The review this preview may build on: its own latest, else the one a
  // page before it left for these settings (taken over). Null: none.
  report::Review* EarlierReview();
  // The comparison of a row whose database is a mail source.
  std::vector<report::FieldPair> CompareInSource(const report::Review& review, const report::Review::Row& row,
                                                 std::u16string* strError);

  RunSettings& m_settings;
  QuietPage m_quiet;
  Judgement m_judged;  // what judged m_pReview
  std::unique_ptr<mailio::MailSourceProvider> m_pSources;  // the comparison's read of mail sources
  platform::CFile m_noLogFile;  // never opened: the preview's log texts go nowhere
  std::unique_ptr<report::ReportCollector> m_pCollector;  // the preview under way
  std::unique_ptr<report::Review> m_pReview;              // the latest complete one
  std::unique_ptr<report::SpareSet> m_pSpare;
  QPointer<ReviewDlg> m_pWindow;  // owned by its parent, the page
};
