// CWizardPage: what every wizard page shares. A page is a frameless window
// with a thin border and a taskbar entry of its own, built from its dialog
// template (banner at the top, buttons at the bottom); it carries the caption
// "Tarnwick v1.0", dresses Back, Next, Close and Help, loads the Help menu,
// ignores Enter and Escape, can be dragged by its body, opens the next page,
// goes back, and asks before Close and Cancel.
//
// Writing a page
// --------------
//   class OptionDlg : public frame::CWizardPage {
//   public:
//     // The constructor the registry calls (see PageFactory.h):
//     OptionDlg(RunSettings& settings, frame::CWizardPage* pCreator)
//         : CWizardPage(130, settings, pCreator) {}
//   protected:
//     bool OnInitDialog() override;  // own set-up; controls exist, page hidden
//     void OnNext() override;        // checks, writes m_settings, then
//                                    //   OpenNextPage(133, m_pNextPage);
//     void OnBack() override;        // own resets, then GoBack();
//   };
//
// - Template: the constructor names the template id (dialogs.json under
//   res/templates). Create() builds every control there; reach them with
//   GetDlgItem(id) / DlgItem<QTreeWidget>(id), CheckDlgButton, EnableDlgItem,
//   ShowDlgItem, SetDlgItemText. Buttons the template gives an image and a
//   tooltip are dressed already. ReplaceDlgItem swaps in a control class of
//   your own (the check-box tree).
// - Wiring: the base connects the page's Next, Back, Close, the hidden
//   Cancel (id 2) and Help by the page table below to OnNext, OnBack, OnClose,
//   OnCancel and OnHelpCommand. Alt+F4 and the window manager's close arrive
//   as OnCancel. Page-specific buttons: connect them in OnInitDialog with
//   member-function pointers or lambdas.
// - Defaults: OnBack = GoBack(); OnClose asks "Do you want to Close
//   Application ?" and runs CommonShutdown on Yes (a page with another
//   wording calls ConfirmClose(text)); OnCancel asks the same and ends the
//   process on Yes without closing the log or opening anything; OnHelpCommand
//   opens the manual (32771), the about box (32774) or the web page (32775).
// - Next: OpenNextPage(templateId, m_pNextPage) makes the registered class's
//   object, stores it in the member at once, creates its window (on failure
//   shows the template's creation message, e.g. "Option dialog cannot be
//   created", and stays), then runs afterCreate, hides this page and shows
//   the new one. Every Next makes a fresh page.
// - Back: GoBack() shows the creator exactly as it was left, hides this page,
//   clears the creator's member and deletes this page after the handler.
// - Messages: Notice(text) (OK, information) and Confirm(text) (Yes/No,
//   question) are owned by the page, caption "Tarnwick v1.0".
// - Ending: CommonShutdown() closes m_settings.m_logFile, opens the web page,
//   ends the dialog and the process (exit status 255). Tests replace the last
//   step (Shutdown.h: SetTerminateHook) and then the call returns.
// - Screenshots: override FillSampleContents() to put representative contents
//   on the page for `tarnwick --render-pages` (no Notes database is opened
//   there; fill the controls directly).
//
// Threads: user-interface thread only. Workers change a page through queued
// calls (QMetaObject::invokeMethod with Qt::BlockingQueuedConnection); a page
// that starts a worker must stop it and wait (pumping events) in its
// destructor.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "ui/win/CDialog.h"

struct RunSettings;

namespace frame {

// The fixed ids of each page's common buttons (0 = the page has none) and the
// message shown when the page cannot be created.
struct PageButtonIds {
  int nTemplateId;
  int nNext;
  int nBack;
  int nClose;
  int nHelp;
  const char* szCreationMessage;
};
// 102 start, 131 multiple files, 129 single file, 130 scope and dates,
// 133 criteria and action, 134 summary and progress; nullptr for others.
const PageButtonIds* FindPageButtonIds(int nTemplateId);

inline constexpr int kCmdHelpManual = 32771;
inline constexpr int kCmdAbout = 32774;
inline constexpr int kCmdWebPage = 32775;
inline constexpr const char* kCloseQuestion = "Do you want to Close Application ?";

class CWizardPage : public win::CDialog {
  Q_OBJECT
public:
  // pCreator: the page whose Next creates this one (null for the start page);
  // it owns this page through one of its members.
  CWizardPage(int nTemplateId, RunSettings& settings, CWizardPage* pCreator);
  ~CWizardPage() override;

  // Builds the window from the template, runs the common initialisation
  // (buttons dressed and wired, Help menu, caption) and OnInitDialog. False
  // when the page cannot be created. The page stays hidden.
  [[nodiscard]] bool Create();

  CWizardPage* CreatorPage() const { return m_pCreator; }
  RunSettings& Settings() const { return m_settings; }
  // The page this page's Next created, if any (the start page keeps its two
  // in members of its own).
  CWizardPage* NextPage() const { return m_pNextPage.get(); }

  // Representative contents for the page renderer. Default: none.
  virtual void FillSampleContents() {}

protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnNext() {}
  virtual void OnBack() { GoBack(); }
  virtual void OnClose() { ConfirmClose(QString::fromLatin1(kCloseQuestion)); }
  virtual void OnCancel();
  virtual void OnHelpCommand(int nCommandId);

  // See the header comment. Return true when the next page is shown.
  bool OpenNextPage(int nTemplateId, std::unique_ptr<CWizardPage>& slot,
                    const std::function<void()>& afterCreate = {});
  void GoBack();
  void ConfirmClose(const QString& question);
  void CommonShutdown();
  void Notice(const QString& text);
  [[nodiscard]] bool Confirm(const QString& text);

  void closeEvent(QCloseEvent* e) override;
  void reject() override;
  void paintEvent(QPaintEvent* e) override;

  RunSettings& m_settings;                   // the application's record, outlives every page
  std::unique_ptr<CWizardPage> m_pNextPage;  // owned: the page this page's Next created

private:
  void WireCommonButtons();

  CWizardPage* m_pCreator;                      // not owned: the creator owns this page
  std::unique_ptr<CWizardPage>* m_pOwnerSlot = nullptr;  // the creator's member holding this page
};

}  // namespace frame
