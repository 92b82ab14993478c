#include "ui/frame/CVintrelAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "platform/Version.h"
#include "ui/frame/Shutdown.h"
#include "ui/win/Buttons.h"
#include "ui/win/MessageBox.h"

namespace frame {

CVintrelAboutDlg::CVintrelAboutDlg(QWidget* parent) : win::CDialog(100, parent) {
  m_titleFont = QFont(QStringLiteral("Arial"));
  m_titleFont.setStyleHint(QFont::SansSerif);
  m_titleFont.setPixelSize(15);
  m_titleFont.setWeight(QFont::DemiBold);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

bool CVintrelAboutDlg::Create() {
  if (!CreateFromTemplate()) return false;
  const struct {
    int nId;
    const char* prefix;
    const char* url;
  } links[] = {
      {1078, "", kMakerWebSite},
      {1003, "mailto:", kSupportMail},
      {1010, "mailto:", kSalesMail},
  };
  for (const auto& l : links) {
    auto* link = DlgItem<win::CLinkButton>(l.nId);
    if (!link) continue;
    link->SetURLPrefix(QString::fromLatin1(l.prefix));
    link->SetURL(QString::fromLatin1(l.url));
    link->setText(QString::fromLatin1(l.url));
    link->SizeToContent();
  }
  if (auto* title = DlgItem<QLabel>(1027)) {
    title->setText(QString::fromLatin1(win::kCaption));
    title->setFont(m_titleFont);
  }
  // The full version stands below the links, where the title's "v1.0"
  // cannot say which release this is.
  if (auto* version = DlgItem<QLabel>(kVersionStatic))
    version->setText(QStringLiteral("Version ") + QString::fromLatin1(platform::ProgramVersion()));
  if (auto* ok = DlgItem<QPushButton>(1)) connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  setWindowTitle(QString::fromLatin1(win::kCaption));
  OrderTabsByReading();
  return true;
}

}  // namespace frame
