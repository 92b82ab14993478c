// Sample contents and screenshots of the single-file information page.
#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QPainter>
#include <QProgressBar>
#include <cstdio>
#include <memory>

#include "engine/RunSettings.h"
#include "notes/FolderTree.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/tree/XHtmlTree.h"
#include "ui/win/Screenshot.h"

namespace {

// A mail database as a user might have it.
std::vector<FolderRecord> SampleFolders() {
  return {
      {u"($Inbox)", 0x20A, 1},
      {u"($Sent)", 0x20E, 1},
      {u"($Drafts)", 0x212, 0},
      {u"Projects", 0x216, 0},
      {u"Projects\\2019", 0x21A, 1},
      {u"Projects\\2019\\Harbour extension - correspondence with the port authority", 0x21E, 1},
      {u"Projects\\2020", 0x222, 1},
      {u"Receipts", 0x226, 1},
      {u"($All)", 0x202, 1},
  };
}

// The tooltip is a window of its own: draw it over the page's picture where
// it stands on the screen.
QPixmap WithVisibleTooltip(QWidget* page) {
  QPixmap shot = page->grab();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->inherits("QTipLabel")) continue;
    QPainter p(&shot);
    p.drawPixmap(w->mapToGlobal(QPoint(0, 0)) - page->mapToGlobal(QPoint(0, 0)), w->grab());
  }
  return shot;
}

}  // namespace

void Fileinfodlg::FillSampleContents() {
  WaitForLoad();  // a sample path may have been tried already; let it finish
  const std::vector<FolderRecord> folders = SampleFolders();
  m_settings.m_nDbSize = 48'758'784;
  ShowFields(1873, folders.size());
  m_pTree->ResetTree();
  m_pTree->SetSmartCheckBoxes(true);
  FillTree(BuildFolderTree(m_settings.m_strSingleFilePath, folders));
  if (auto* bar = DlgItem<QProgressBar>(kProgressId)) bar->hide();
  for (int id : {kBackId, kNextId, kCloseId}) EnableDlgItem(id, true);
}

bool Fileinfodlg::RenderScreenshots(RunSettings& settings, frame::CWizardPage* pCreator, const QString& dir) {
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "Cannot create the folder %s\n", qPrintable(dir));
    return false;
  }
  auto page = std::make_unique<Fileinfodlg>(settings, pCreator);
  if (!page->Create()) {
    std::fprintf(stderr, "Page %d cannot be created\n", kTemplateId);
    return false;
  }
  page->FillSampleContents();
  page->show();
  win::SettleEvents(250);
  bool ok = win::SaveScreenshot(page->grab(), dir, QStringLiteral("129-single-file-information.png"));

  // Leave one year of the projects out: its parents show the mixed box.
  CXHtmlTree* tree = page->Tree();
  for (xht::HTREEITEM h = tree->GetRootItem(); h != 0; h = tree->Model().GetNextItemPreOrder(h))
    if (tree->GetItemText(h) == QLatin1String("2020")) tree->SetItemCheck(h, 0);
  win::SettleEvents(100);
  ok &= win::SaveScreenshot(page->grab(), dir, QStringLiteral("129-single-file-information-mixed.png"));

  // Point at the longest folder name, which the tree cuts off.
  xht::HTREEITEM longest = 0;
  for (xht::HTREEITEM h = tree->GetRootItem(); h != 0; h = tree->Model().GetNextItemPreOrder(h))
    if (!longest || tree->GetItemText(h).size() > tree->GetItemText(longest).size()) longest = h;
  const QPoint pos = tree->LabelRect(longest).topLeft() + QPoint(8, 4);
  QHelpEvent help(QEvent::ToolTip, pos, tree->viewport()->mapToGlobal(pos));
  QApplication::sendEvent(tree->viewport(), &help);
  win::SettleEvents(300);
  ok &= win::SaveScreenshot(WithVisibleTooltip(page.get()), dir,
                            QStringLiteral("129-single-file-information-tooltip.png"));
  page->hide();
  return ok;
}
