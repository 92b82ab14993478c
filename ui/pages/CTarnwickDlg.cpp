#include "ui/pages/CTarnwickDlg.h"

#include <QIcon>
#include <QPushButton>
#include <QRadioButton>

#include "engine/RunSettings.h"
#include "res/Resources.h"
#include "ui/pages/SourceChoice.h"
#include "ui/win/Shell.h"

namespace {
enum : int {
  kPathBox = 1000,
  kBrowse = 1001,
  kSingleRadio = 1013,
  kMultipleRadio = 1014,
  kFileInfoTemplate = 129,
  kMultipleFileTemplate = 131,
};
}  // namespace

CTarnwickDlg::CTarnwickDlg(RunSettings& settings) : CWizardPage(kTemplateId, settings, nullptr) {}

CTarnwickDlg::~CTarnwickDlg() = default;

bool CTarnwickDlg::OnInitDialog() {
  InitTarnwickResources();
  setWindowIcon(QIcon(IconResourcePath(128)));
  m_pFileInfoPage.reset();
  m_pMultipleFilePage.reset();
  connect(DlgItem<QRadioButton>(kSingleRadio), &QRadioButton::clicked, this, &CTarnwickDlg::OnSingleMode);
  connect(DlgItem<QRadioButton>(kMultipleRadio), &QRadioButton::clicked, this, &CTarnwickDlg::OnMultipleMode);
  connect(DlgItem<QPushButton>(kBrowse), &QPushButton::clicked, this, &CTarnwickDlg::OnBrowse);
  OnSingleMode();
  return true;
}

void CTarnwickDlg::OnSingleMode() {
  CheckDlgButton(kSingleRadio, true);
  EnableDlgItem(kPathBox, true);
  EnableDlgItem(kBrowse, true);
  CheckDlgButton(kMultipleRadio, false);
}

void CTarnwickDlg::OnMultipleMode() {
  CheckDlgButton(kSingleRadio, false);
  EnableDlgItem(kPathBox, false);  // its text stays for a switch back
  EnableDlgItem(kBrowse, false);
  CheckDlgButton(kMultipleRadio, true);
}

void CTarnwickDlg::OnBrowse() {
  const QString path = win::GetOpenFilePath(this, {}, sourcechoice::DatabasesAndMail());
  if (path.isEmpty()) return;  // cancelled: the previous choice stays
  m_settings.m_strSingleFilePath = path.toStdU16String();
  SetDlgItemText(kPathBox, path);
}

void CTarnwickDlg::OnNext() {
  if (IsDlgButtonChecked(kSingleRadio)) {
    const QString path = GetDlgItemText(kPathBox);
    if (path.isEmpty()) {
      Notice(QStringLiteral("Please browse file path"));
      return;
    }
    // What the box shows is what the next page opens, typed or browsed.
    m_settings.m_strSingleFilePath = path.toStdU16String();
    OpenNextPage(kFileInfoTemplate, m_pFileInfoPage, [this] { m_settings.m_bMultipleFiles = 0; });
    return;
  }
  OpenNextPage(kMultipleFileTemplate, m_pMultipleFilePage, [this] { m_settings.m_bMultipleFiles = 1; });
}
