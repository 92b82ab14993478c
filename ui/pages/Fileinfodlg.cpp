#include "ui/pages/Fileinfodlg.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QProgressBar>
#include <QThread>
#include <chrono>
#include <exception>

#include "engine/RunSettings.h"
#include "lnapi/LNNotes.h"
#include "mail/MailSourceRun.h"
#include "mail/RunWithSources.h"
#include "notes/FolderList.h"
#include "notes/FolderTree.h"
#include "platform/Text.h"
#include "res/Resources.h"
#include "ui/tree/XHtmlTree.h"
#include "ui/win/DialogTemplate.h"

namespace {

constexpr int kOptionTemplateId = 130;
constexpr int kFolderBitmapId = 154;
constexpr int kFolderImageSize = 16;
constexpr const char* kOpenFailed = "Database cannot be Opened";
constexpr const char* kCloseQuestionSmallC = "Do you want to close Application ?";

// The folder images: a strip of 16-pixel squares, magenta transparent.
QPixmap FolderImageStrip() {
  InitTarnwickResources();
  QPixmap strip(BitmapResourcePath(kFolderBitmapId));
  if (!strip.isNull()) strip.setMask(strip.createMaskFromColor(QColor(255, 0, 255)));
  return strip;
}

// The box's second line: the path and why it did not open. The store's
// own texts name the path already ("Cannot open PATH: reason").
std::u16string OpenFailureLine(const std::u16string& path, const std::u16string& reason) {
  if (reason.find(path) != std::u16string::npos) return reason;
  return u"Cannot open " + path + u": " + reason;
}

}  // namespace

// The listing's progress, moved on the user-interface thread.
class FileinfoProgress : public FolderListProgress {
public:
  FileinfoProgress(Fileinfodlg& page, std::function<void(const std::function<void()>&)> runOnUi)
      : m_page(page), m_runOnUi(std::move(runOnUi)) {}
  void SetRange(int nLower, int nUpper) override {
    m_runOnUi([this, nLower, nUpper] { Bar()->setRange(nLower, nUpper); Bar()->setValue(nLower); });
  }
  void SetPos(int nPos) override { m_runOnUi([this, nPos] { Bar()->setValue(nPos); }); }
  void Hide() override { m_runOnUi([this] { Bar()->hide(); }); }

private:
  QProgressBar* Bar() const { return m_page.DlgItem<QProgressBar>(Fileinfodlg::kProgressId); }
  Fileinfodlg& m_page;
  std::function<void(const std::function<void()>&)> m_runOnUi;
};

Fileinfodlg::Fileinfodlg(RunSettings& settings, frame::CWizardPage* pCreator)
    : CWizardPage(kTemplateId, settings, pCreator) {}

Fileinfodlg::~Fileinfodlg() {
  // The worker may be waiting for this thread to carry out one of its
  // calls: keep serving them (they do nothing now) until it has ended.
  m_bClosing = true;
  WaitForLoad();
}

void Fileinfodlg::WaitForLoad() {
  while (m_worker.joinable() && !m_bWorkerDone) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  if (m_worker.joinable()) m_worker.join();
}

void Fileinfodlg::SetupTree() {
  const win::DialogTemplate* t = win::FindDialogTemplate(kTemplateId);
  const win::ControlTemplate* c = t ? t->Find(kTreeId) : nullptr;
  auto* tree = new CXHtmlTree();
  tree->SetDlgCtrlID(kTreeId);
  m_pTree = static_cast<CXHtmlTree*>(ReplaceDlgItem(kTreeId, tree));
  m_pTree->SetImageList(FolderImageStrip(), kFolderImageSize);
  m_pTree->ResetTree();
  m_pTree->SetCheckBoxes(!c || c->Has("checkboxes"));
  m_pTree->SetSmartCheckBoxes(true);
  m_pTree->SetReadOnly(false);
  m_pTree->SetImages(true);
}

bool Fileinfodlg::OnInitDialog() {
  SetupTree();
  m_pNextPage.reset();
  // A fresh session for every load: whatever an earlier page left open ends.
  if (m_settings.m_session.IsInitialized()) m_settings.m_session.Term();
  m_settings.m_session.Initialize();
  m_worker = std::thread([this] { LoadWorker(); });
  return true;
}

void Fileinfodlg::RunOnUi(const std::function<void()>& work) {
  if (m_bClosing) return;
  QMetaObject::invokeMethod(
      this, [this, &work] { if (!m_bClosing) work(); }, Qt::BlockingQueuedConnection);
}

bool Fileinfodlg::OpenDatabase() {
  LNDatabase& db = m_settings.m_db;
  const std::u16string source = m_settings.m_strSingleFilePath;
  std::u16string path = source;
  m_strOpenFailure.clear();
  m_settings.m_vecSourceFolders.clear();
  if (mailio::IsMailSource(platform::ToUtf8(source))) {
    // The page only lists folders: the bodies are left unread.
    mailio::MailSourceSettings read;
    read.bReadBody = false;
    m_pSources = std::make_unique<mailio::MailSourceProvider>(read);
    path = m_pSources->Prepare(source, &m_strOpenFailure);
    if (path.empty()) return false;
  }
  try {
    const LNString notesPath(platform::ToUtf8(path));
    if (const LNSTATUS status = m_settings.m_session.GetDatabase(notesPath, &db, ""); status != LNNOERROR)
      throw status;
    if (const LNSTATUS status = db.Open(); status != LNNOERROR) throw status;
    m_settings.m_hDatabase = db.GetDatabaseHandle(1);
    // Read with the open: a database whose size cannot be read is treated
    // as one that cannot be opened, rather than ending the program. A mail
    // source shows its own size, not that of the database it was read into.
    m_settings.m_nDbSize = m_pSources ? mailio::MailSourceSize(platform::ToUtf8(source)).value_or(0) : db.GetSize();
    return true;
  } catch (const LNSTATUS& status) {
    m_strOpenFailure = OpenFailureLine(source, platform::FromUtf8(LNGetErrorMessageText(status)));
  } catch (const std::exception& e) {
    m_strOpenFailure = OpenFailureLine(source, platform::FromUtf8(e.what()));
  }
  try {
    if (db.IsOpen()) db.Close();
  } catch (...) {
  }
  return false;
}

void Fileinfodlg::LoadWorker() {
  LNNotesSession session;
  session.InitThread();
  RunOnUi([this] { SetDlgItemText(kStatusId, QStringLiteral("Opening Database....")); });
  if (!OpenDatabase()) {
    // The second line says which file and why (a mail source: why it was
    // not read).
    QString message = QString::fromLatin1(kOpenFailed);
    if (!m_strOpenFailure.empty()) message += QStringLiteral("\n\n") + QString::fromStdU16String(m_strOpenFailure);
    RunOnUi([this, &message] { Notice(message); });
  } else {
    RunOnUi([this] { SetDlgItemText(kStatusId, QStringLiteral("Processing Folders....")); });
    FileinfoProgress progress(*this, [this](const std::function<void()>& w) { RunOnUi(w); });
    std::uint64_t nTotal = 0;
    try {
      nTotal = BuildFolderList(m_settings.m_db, m_vecFolders, m_settings.m_curFolder, &progress,
                               &m_settings.m_strFolderListError);
    } catch (...) {
      // The listing stops at a Notes error by itself; anything else keeps
      // what was listed, as a Notes error would.
    }
    const std::size_t nFolders = m_vecFolders.size();
    if (m_pSources) m_settings.m_vecSourceFolders = m_vecFolders;
    const std::vector<FolderTreeItem> items = BuildFolderTree(m_settings.m_strSingleFilePath, m_vecFolders);
    RunOnUi([&] {
      ShowFields(nTotal, nFolders);
      FillTree(items);
    });
    m_vecFolders.clear();
    try {
      m_settings.m_db.Close();
    } catch (...) {
    }
  }
  m_pSources.reset();  // its temporary database is no longer needed
  session.TermThread();
  RunOnUi([this] {
    for (int id : {kBackId, kNextId, kCloseId}) EnableDlgItem(id, true);
  });
  m_bWorkerDone = true;
}

void Fileinfodlg::ShowFields(std::uint64_t nTotal, std::size_t nFolders) {
  SetDlgItemText(kNameId, QString::fromStdU16String(m_settings.m_strSingleFilePath));
  SetDlgItemText(kSizeId, QString::number(static_cast<qulonglong>(m_settings.m_nDbSize)));
  SetDlgItemText(kTotalId, QString::number(static_cast<qulonglong>(nTotal)));
  SetDlgItemText(kFolderCountId, QString::number(static_cast<qulonglong>(nFolders)));
  SetDlgItemText(kStatusId, QString());
}

void Fileinfodlg::FillTree(const std::vector<FolderTreeItem>& items) {
  std::vector<xht::HTREEITEM> handles(items.size(), 0);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const FolderTreeItem& item = items[i];
    xht::TVINSERTSTRUCT ins;
    ins.hParent = item.nParent < 0 ? xht::TVI_ROOT : handles[static_cast<std::size_t>(item.nParent)];
    ins.hInsertAfter = xht::TVI_LAST;
    ins.item.strText = item.strText;
    ins.item.iImage = item.nImage;
    ins.item.iSelectedImage = item.nImage;
    const xht::HTREEITEM h = m_pTree->InsertTreeItem(ins);
    handles[i] = h;
    if (!h) continue;
    if (item.bBold) m_pTree->SetItemState(h, xht::TVIS_BOLD, xht::TVIS_BOLD);
    m_pTree->SetItemData(h, static_cast<std::intptr_t>(item.dwNoteId));
    m_pTree->SetItemCheck(h, 1);
  }
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].bExpanded && handles[i]) m_pTree->ExpandTreeItem(handles[i], xht::TVE_EXPAND);
}

void Fileinfodlg::OnNext() {
  // Pre-order from the database item; a folder with sub-folders counts only
  // when all of them are checked. The list is appended to, not replaced.
  for (xht::HTREEITEM h = m_pTree->FindFirstChecked(); h != 0; h = m_pTree->FindNextChecked(h)) {
    FolderRecord record;
    record.strName = m_pTree->GetItemText(h).toStdU16String();
    record.dwNoteId = static_cast<std::uint32_t>(m_pTree->GetItemData(h));
    m_settings.m_vecSelectedFolders.push_back(record);
  }
  OpenNextPage(kOptionTemplateId, m_pNextPage);
}

void Fileinfodlg::OnBack() {
  m_settings.m_vecSelectedFolders.clear();
  m_settings.m_session.Term(0);
  GoBack();
}

void Fileinfodlg::OnClose() { ConfirmClose(QString::fromLatin1(kCloseQuestionSmallC)); }
