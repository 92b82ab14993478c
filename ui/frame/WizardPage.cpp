#include "ui/frame/WizardPage.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPainter>
#include <QPushButton>

#include "engine/RunSettings.h"
#include "res/Resources.h"
#include "ui/frame/CVintrelAboutDlg.h"
#include "ui/frame/PageFactory.h"
#include "ui/frame/Shutdown.h"
#include "ui/win/Buttons.h"
#include "ui/win/MessageBox.h"
#include "ui/win/Shell.h"

namespace frame {

namespace {

constexpr PageButtonIds kPages[] = {
    {102, 1002, 0, 1003, 1028, ""},
    {131, 1021, 1009, 1003, 1028, "Multiple File dialog cannot be created"},
    {129, 1002, 1009, 1003, 1028, "File Info dialog cannot be created"},
    {130, 1002, 1009, 1, 1032, "Option dialog cannot be created"},
    {133, 1050, 1051, 1, 1028, "Save Option dialog cannot be created"},
    {134, 0, 1017, 1, 1028, "Progress dialog cannot be created"},
};

constexpr int kPngNext = 137, kPngBack = 138, kPngClose = 140, kPngHelp = 141;

}  // namespace

const PageButtonIds* FindPageButtonIds(int nTemplateId) {
  for (const PageButtonIds& p : kPages)
    if (p.nTemplateId == nTemplateId) return &p;
  return nullptr;
}

CWizardPage::CWizardPage(int nTemplateId, RunSettings& settings, CWizardPage* pCreator)
    : win::CDialog(nTemplateId, nullptr), m_settings(settings), m_pCreator(pCreator) {
  // No Qt parent: a top-level window of its own gets its own taskbar entry.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
}

CWizardPage::~CWizardPage() = default;

bool CWizardPage::Create() {
  if (!CreateFromTemplate()) return false;
  InitTarnwickResources();
  setWindowIcon(QIcon(IconResourcePath(128)));
  WireCommonButtons();
  m_pNextPage.reset();
  setWindowTitle(QString::fromLatin1(win::kCaption));
  if (!OnInitDialog()) return false;
  OrderTabsByReading();
  return true;
}

void CWizardPage::WireCommonButtons() {
  const PageButtonIds* ids = FindPageButtonIds(TemplateId());
  if (!ids) return;
  const struct {
    int nId;
    int nPng;
    const char* tooltip;
    void (CWizardPage::*handler)();
  } buttons[] = {
      {ids->nNext, kPngNext, "Next", &CWizardPage::OnNext},
      {ids->nBack, kPngBack, "Back", &CWizardPage::OnBack},
      {ids->nClose, kPngClose, "Close the application", &CWizardPage::OnClose},
  };
  for (const auto& b : buttons) {
    auto* button = DlgItem<QPushButton>(b.nId);
    if (!b.nId || !button) continue;
    win::DressButton(button, b.nPng, QString::fromLatin1(b.tooltip));
    const auto handler = b.handler;
    connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  }
  if (auto* cancel = DlgItem<QPushButton>(2))
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
  if (auto* help = DlgItem<win::CMenuButton>(ids->nHelp)) {
    win::DressButton(help, kPngHelp, QStringLiteral("Help"));
    if (!help->PopupMenu()) help->LoadMenu(146);
    connect(help, &win::CMenuButton::commandChosen, this, [this, help] { OnHelpCommand(help->m_nMenuResult); });
  }
}

bool CWizardPage::OpenNextPage(int nTemplateId, std::unique_ptr<CWizardPage>& slot,
                               const std::function<void()>& afterCreate) {
  const PageButtonIds* ids = FindPageButtonIds(nTemplateId);
  const QString message = QString::fromLatin1(ids ? ids->szCreationMessage : "Dialog cannot be created");
  slot = CreatePageObject(nTemplateId, m_settings, this);
  if (!slot || !slot->Create()) {
    Notice(message);
    return false;
  }
  slot->m_pOwnerSlot = &slot;
  if (afterCreate) afterCreate();
  CWizardPage* next = slot.get();
  next->move(pos());  // the wizard stays where the user put it
  hide();
  next->show();
  return true;
}

void CWizardPage::GoBack() {
  if (!m_pCreator) return;
  m_pCreator->move(pos());
  m_pCreator->show();
  hide();
  if (m_pOwnerSlot && m_pOwnerSlot->get() == this) {
    // We are inside one of our own handlers: delete after it returns.
    m_pOwnerSlot->release();
    m_pOwnerSlot = nullptr;
    deleteLater();
  }
}

void CWizardPage::ConfirmClose(const QString& question) {
  if (Confirm(question)) CommonShutdown();
}

void CWizardPage::CommonShutdown() {
  CloseLogAndOpenWebPage(m_settings);
  done(QDialog::Accepted);
  TerminateProcess(kExitStatusClosed);
}

void CWizardPage::OnCancel() {
  if (!Confirm(QString::fromLatin1(kCloseQuestion))) return;
  done(QDialog::Rejected);
  TerminateProcess(kExitStatusClosed);
}

void CWizardPage::OnHelpCommand(int nCommandId) {
  switch (nCommandId) {
    case kCmdHelpManual: win::ShellOpen(ProductManualUrl()); break;
    case kCmdWebPage: win::ShellOpen(QString::fromLatin1(kProductWebPage)); break;
    case kCmdAbout: {
      CVintrelAboutDlg about(this);
      if (about.Create()) about.exec();
      break;
    }
    default: break;  // the menu was dismissed
  }
}

void CWizardPage::Notice(const QString& text) { win::MessageBoxNotice(this, text); }

bool CWizardPage::Confirm(const QString& text) { return win::MessageBoxConfirm(this, text); }

void CWizardPage::closeEvent(QCloseEvent* e) {
  // The window manager's close and Alt+F4 arrive as Cancel; the page stays
  // unless Cancel ends the process.
  e->ignore();
  OnCancel();
}

void CWizardPage::reject() { OnCancel(); }

void CWizardPage::paintEvent(QPaintEvent* e) {
  win::CDialog::paintEvent(e);
  QPainter p(this);
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(rect().adjusted(0, 0, -1, -1));  // the thin border of a frameless page
}

}  // namespace frame
