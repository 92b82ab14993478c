// bench_review: the review window's model over a large report, in time and
// memory.
//
//   bench_review [--groups N] [--budget-mb M]
//
// Builds a report of N groups (default 100,000; one to three duplicates
// each, texts as long as real mail's, a 200-character body), then the
// review and the window over it (offscreen), and times: building, ordering
// by folder and by sender through the column headers' sort, filtering by
// sender, unticking every row shown, and the reviewed report. Prints the
// peak resident memory against the budget (default 1.5 KB a group: 150 MB at
// 100,000) and exits 1 when it is over.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/report/Review.h"
#include "ui/review/ReviewDlg.h"
#include "ui/review/ReviewModel.h"

namespace {

using Clock = std::chrono::steady_clock;

// Resident memory now, from /proc/self/statm.
double ResidentMb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::u16string Text(const char* prefix, std::uint32_t n) {
  const std::string text = prefix + std::to_string(n);
  return std::u16string(text.begin(), text.end());
}

report::Report MakeReport(std::uint32_t nGroups) {
  report::DatabaseGroups db;
  db.strPath = u"/home/anna/Mail/anna.nsf";
  for (std::uint32_t f = 0; f < 40; ++f) db.vecFolders.push_back(Text("Projects\\Folder ", f));
  const std::u16string body(200, u'b');
  NOTEID id = 4;
  for (std::uint32_t g = 0; g < nGroups; ++g) {
    report::Group group;
    group.nFolder = (g * 7) % 40;
    group.key = report::MakeKey(u"9E107D9D372BB6826BD81D3542A419D6");
    group.nCompared = 0x3F;
    const std::u16string sender = Text("Correspondent Number <person", (g * 2654435761u) % 5000) + u"@example.org>";
    const std::u16string subject = Text("Quarterly report and the figures of week ", g);
    const std::u16string date = u"2010-03-05T14:07:09";
    const std::u16string attachments = g % 3 == 0 ? u"report.pdf; figures.xlsx" : u"";
    group.fields = report::Texts({subject, sender, u"bob@example.org; cy@example.org", date, body, attachments});
    group.kept = {id, 14000, {}};
    id += 4;
    // One duplicate in four shows another subject (subjects not compared).
    for (std::uint32_t d = 0; d < 1 + g % 3; ++d, id += 4)
      group.duplicates.push_back({id, 14000, (id / 4) % 4 == 0 ? report::Texts({sender, u"Re: " + subject, date, attachments})
                                                               : report::Texts()});
    db.groups.push_back(std::move(group));
  }
  return report::Report{{std::move(db)}};
}

template <class F>
double Seconds(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t nGroups = 100000;
  double dBudgetMb = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--groups" && i + 1 < argc) nGroups = static_cast<std::uint32_t>(std::stoul(argv[++i]));
    else if (arg == "--budget-mb" && i + 1 < argc) dBudgetMb = std::stod(argv[++i]);
    else {
      std::fprintf(stderr, "usage: bench_review [--groups N] [--budget-mb M]\n");
      return 2;
    }
  }
  if (dBudgetMb < 0) dBudgetMb = 1.5 * static_cast<double>(nGroups) / 1000.0;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const long startKb = PeakKb();

  report::Report source;
  const double dBuild = Seconds([&] { source = MakeReport(nGroups); });
  std::unique_ptr<report::Review> review;
  std::unique_ptr<ReviewDlg> window;
  const double dReportMb = static_cast<double>(PeakKb() - startKb) / 1024.0;
  const double dReview = Seconds([&] {
    review = std::make_unique<report::Review>(std::move(source));
    std::printf("report %.1f MB, review %.1f MB above the empty application\n", dReportMb,
                static_cast<double>(PeakKb() - startKb) / 1024.0);
    window = std::make_unique<ReviewDlg>(*review, nullptr);
    window->show();
    app.processEvents();
  });
  ReviewModel* model = window->Model();
  std::printf("%u groups, %zu duplicates, %d rows\n", nGroups, review->DuplicateCount(), model->rowCount());
  std::printf("report made in %.2f s; review and window in %.3f s\n", dBuild, dReview);
  const auto timed = [&](const char* what, auto&& step) {
    const double d = Seconds([&] {
      step();
      app.processEvents();
    });
    std::printf("%-34s %8.3f s  (%d rows)\n", what, d, model->rowCount());
  };
  timed("sort by folder", [&] { window->Rows()->sortByColumn(ReviewModel::kFolder, Qt::AscendingOrder); });
  timed("sort by sender", [&] { window->Rows()->sortByColumn(ReviewModel::kSender, Qt::AscendingOrder); });
  timed("sort by sender, descending", [&] { window->Rows()->sortByColumn(ReviewModel::kSender, Qt::DescendingOrder); });
  timed("filter: sender contains person42", [&] {
    report::Review::Arrangement a = review->CurrentArrangement();
    a.strSender = u"person42";
    model->Arrange(a);
  });
  timed("untick every row shown", [&] { model->TickShown(false); });
  timed("back to judged order", [&] { model->Arrange({}); });
  timed("scroll to the end", [&] { window->Rows()->scrollToBottom(); });
  std::size_t nKept = 0;
  const double dPeakBeforeMb = static_cast<double>(PeakKb()) / 1024.0;
  timed("reviewed report as JSON, streamed", [&] {
    review->WriteJson([&nKept](std::string_view part) { nKept += part.size(); });
  });
  const double dPeakMb = static_cast<double>(PeakKb()) / 1024.0;
  const double dGrowthMb = static_cast<double>(PeakKb() - startKb) / 1024.0;
  std::printf("peak memory before the export %.1f MB, resident now %.1f MB\n", dPeakBeforeMb, ResidentMb());
  std::printf("peak memory %.1f MB (%.1f MB above the empty application, %.0f bytes a group); "
              "budget %.0f MB: %s\n",
              dPeakMb, dGrowthMb, dGrowthMb * 1024.0 * 1024.0 / nGroups, dBudgetMb,
              dPeakMb <= dBudgetMb ? "within" : "OVER");
  return dPeakMb <= dBudgetMb ? 0 : 1;
}
