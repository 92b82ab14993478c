#include "ui/pages/MultipleFileDlg.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/RunSettings.h"
#include "lnapi/LNNotes.h"
#include "mail/MailSourceRun.h"
#include "mail/RunWithSources.h"
#include "ui/pages/SourceChoice.h"
#include "ui/win/Shell.h"

namespace fs = std::filesystem;

namespace nsfsearch {

std::optional<std::uint64_t> OpenForReadingWithoutSharing(const std::string& path) {
  // Non-blocking, so that a named pipe that happens to carry the extension
  // cannot hang the search waiting for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular || lnapi::IsFileHeldByOther(path)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool HasExtension(std::string_view name, std::string_view ext) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view tail = name.substr(dot + 1);
  return std::equal(tail.begin(), tail.end(), ext.begin(), ext.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::optional<std::uint64_t> SourceSize(const std::string& path) {
  if (const auto size = OpenForReadingWithoutSharing(path)) return size;
  std::error_code ec;
  if (fs::is_directory(path, ec)) return mailio::MailSourceSize(path);
  return std::nullopt;
}

void SearchFolder(const std::string& folder, std::string_view ext, const std::atomic<std::uint8_t>& stop,
                  std::atomic<int>& nFolderCount, const SearchCallbacks& callbacks, bool bMailSources) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  while (!ec && it != end && stop.load() != 1) {
    const fs::directory_entry& entry = *it;
    const std::string path = entry.path().string();
    std::error_code statEc;
    const bool isLink = entry.is_symlink(statEc);
    const bool isDir = entry.is_directory(statEc);
    const bool isNsf = !isDir && HasExtension(entry.path().filename().string(), ext);
    // A mail source is reported whole: a maildir's own folders belong to it.
    const bool isMail = !isNsf && bMailSources && !(isLink && isDir) && mailio::IsMailSource(entry.path());
    if (isNsf || isMail) {
      if (const auto size = isMail ? SourceSize(path) : OpenForReadingWithoutSharing(path);
          size && callbacks.onFileFound)
        callbacks.onFileFound(path, *size);
    } else if (!isLink && isDir) {
      const int n = ++nFolderCount;
      if (callbacks.onFolderEntered) callbacks.onFolderEntered(n);
      SearchFolder(path, ext, stop, nFolderCount, callbacks, bMailSources);
    }
    it.increment(ec);
  }
}

}  // namespace nsfsearch

namespace {
enum : int {
  kList = 1015,
  kAdd = 1016,
  kSearch = 1017,
  kRemove = 1018,
  kRemoveAll = 1019,
  kProgress = 1036,
  kStop = 1078,
  kStatus = 1012,
  kBack = 1009,
  kNext = 1021,
  kClose = 1003,
  kOptionTemplate = 130,
};
}  // namespace

MultipleFileDlg::MultipleFileDlg(RunSettings& settings, frame::CWizardPage* pCreator)
    : CWizardPage(kTemplateId, settings, pCreator) {}

MultipleFileDlg::~MultipleFileDlg() { StopWorker(); }

void MultipleFileDlg::StopWorker() {
  if (!m_pWorker) return;
  m_bStop = 1;
  // The worker may be waiting for this thread to carry out one of its
  // calls: keep serving them until it has left.
  while (!m_pWorker->wait(10)) QCoreApplication::processEvents();
  m_pWorker.reset();
}

QTreeWidget* MultipleFileDlg::List() const { return DlgItem<QTreeWidget>(kList); }

bool MultipleFileDlg::OnInitDialog() {
  QTreeWidget* list = List();
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("File Size(Bytes)")});
  list->header()->resizeSection(0, 400);
  list->header()->resizeSection(1, 100);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  // The mark follows the row that last received the selection by a click or
  // a key. A plain click on a row that is already selected reports no newly
  // selected rows, so the current row is read after every change instead.
  QItemSelectionModel* selection = list->selectionModel();
  const auto followCurrent = [this, selection] {
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current)) m_selectionMark = current;
  };
  connect(selection, &QItemSelectionModel::currentChanged, this, followCurrent);
  connect(selection, &QItemSelectionModel::selectionChanged, this, followCurrent);
  connect(DlgItem<QPushButton>(kAdd), &QPushButton::clicked, this, &MultipleFileDlg::OnAdd);
  connect(DlgItem<QPushButton>(kSearch), &QPushButton::clicked, this, &MultipleFileDlg::OnSearch);
  connect(DlgItem<QPushButton>(kRemove), &QPushButton::clicked, this, &MultipleFileDlg::OnRemove);
  connect(DlgItem<QPushButton>(kRemoveAll), &QPushButton::clicked, this, &MultipleFileDlg::OnRemoveAll);
  connect(DlgItem<QPushButton>(kStop), &QPushButton::clicked, this, &MultipleFileDlg::OnStop);
  m_bStop = 0;
  return true;
}

void MultipleFileDlg::InsertRow(int nIndex, const QString& path, std::uint64_t nSize) {
  QTreeWidget* list = List();
  auto* item = new QTreeWidgetItem({path, QString::number(static_cast<qulonglong>(nSize))});
  // Like a list control, an index past the last row appends.
  list->insertTopLevelItem(std::min(nIndex, list->topLevelItemCount()), item);
}

void MultipleFileDlg::OnAdd() {
  const QStringList paths = win::GetOpenFilePaths(this, {}, sourcechoice::DatabasesAndMail());
  int i = 0;
  for (const QString& path : paths) {
    // The position advances for every chosen file, listed or not, so the
    // chosen files keep the dialog's order at the top of the list.
    if (const auto size = nsfsearch::SourceSize(path.toStdString())) InsertRow(i, path, *size);
    ++i;
  }
}

void MultipleFileDlg::SetSearching(bool bSearching) {
  for (int id : std::initializer_list<int>{kNext, kBack, kClose, kAdd, kSearch, kRemove, kRemoveAll, kMailSourcesCheck})
    EnableDlgItem(id, !bSearching);
  ShowDlgItem(kProgress, bSearching);
  ShowDlgItem(kStop, bSearching);
}

void MultipleFileDlg::OnSearch() {
  const QString folder = win::BrowseForFolder(this, QStringLiteral("Select Folder"));
  if (folder.isEmpty()) return;
  if (m_pWorker) m_pWorker->wait();  // the previous search has ended (Search was disabled)
  m_nFolderCount = 0;
  SetSearching(true);
  auto* bar = DlgItem<QProgressBar>(kProgress);
  bar->setRange(0, 100);
  bar->setValue(0);
  SetDlgItemText(kStatus, QStringLiteral("Please wait while process is running"));
  m_bSearchDone = false;

  nsfsearch::SearchCallbacks callbacks;
  callbacks.onFolderEntered = [bar](int n) {
    QMetaObject::invokeMethod(bar, [bar, n] { bar->setValue(n % 100); }, Qt::BlockingQueuedConnection);
  };
  callbacks.onFileFound = [this](const std::string& path, std::uint64_t size) {
    const QString qpath = QString::fromStdString(path);
    QMetaObject::invokeMethod(
        this, [this, qpath, size] { InsertRow(List()->topLevelItemCount(), qpath, size); },
        Qt::BlockingQueuedConnection);
  };
  const std::string root = folder.toStdString();
  const bool bMail = IsDlgButtonChecked(kMailSourcesCheck);
  m_pWorker.reset(QThread::create([this, root, callbacks, bMail] {
    // A maildir chosen as the folder is itself the one source found.
    std::error_code ec;
    if (bMail && fs::is_directory(root, ec) && mailio::IsMailSource(root)) {
      if (const auto size = nsfsearch::SourceSize(root)) callbacks.onFileFound(root, *size);
    } else {
      nsfsearch::SearchFolder(root, "nsf", m_bStop, m_nFolderCount, callbacks, bMail);
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
          DlgItem<QProgressBar>(kProgress)->setValue(100);
          SetSearching(false);
          SetDlgItemText(kStatus, QStringLiteral("Click Next to continue"));
          m_bStop = 0;
          m_bSearchDone = true;
        },
        Qt::BlockingQueuedConnection);
  }));
  m_pWorker->start();
}

void MultipleFileDlg::OnRemove() {
  QTreeWidget* list = List();
  if (list->topLevelItemCount() == 0 || !m_selectionMark.isValid()) return;
  // Only the selection-mark row goes, however many rows are selected.
  delete list->takeTopLevelItem(m_selectionMark.row());
}

void MultipleFileDlg::OnRemoveAll() { List()->clear(); }

void MultipleFileDlg::OnStop() { m_bStop = 1; }

void MultipleFileDlg::OnNext() {
  QTreeWidget* list = List();
  if (list->topLevelItemCount() == 0) {
    Notice(QStringLiteral("Please add NSF File(s) to list to continue"));
    return;
  }
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    m_settings.m_vecFilePaths.push_back(list->topLevelItem(i)->text(0).toStdU16String());
  OpenNextPage(kOptionTemplate, m_pNextPage);
}

void MultipleFileDlg::FillSampleContents() {
  InsertRow(0, QStringLiteral("/home/anna/Mail/anna.nsf"), 734003200);
  InsertRow(1, QStringLiteral("/home/anna/Mail/Archive/archive-2019.NSF"), 5000000000ULL);
  InsertRow(2, QStringLiteral("/home/anna/Mail/Archive/projects.nsf"), 96468992);
  SetDlgItemText(kStatus, QStringLiteral("Click Next to continue"));
}
