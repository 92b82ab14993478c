// The start page (template 102): single-file mode (one database, picked with
// the "..." button) or multiple-file mode (a list, assembled on the next
// page). It lives for the whole process: hidden while a later page is in
// front and shown again, unchanged, by that page's Back.
//
// Next copies the path box's text into m_strSingleFilePath (so a typed path
// is the one the next page opens) and opens the single-file information page
// (129) or the multiple-file list page (131); m_bMultipleFiles is written only
// once that page exists. User-interface thread only.
#pragma once

#include <memory>

#include "ui/frame/WizardPage.h"

class CTarnwickDlg : public frame::CWizardPage {
  Q_OBJECT
public:
  static constexpr int kTemplateId = 102;
  explicit CTarnwickDlg(RunSettings& settings);
  ~CTarnwickDlg() override;

  CWizardPage* FileInfoPage() const { return m_pFileInfoPage.get(); }
  CWizardPage* MultipleFilePage() const { return m_pMultipleFilePage.get(); }

protected:
  bool OnInitDialog() override;
  void OnNext() override;

private:
  void OnSingleMode();
  void OnMultipleMode();
  void OnBrowse();

  std::unique_ptr<CWizardPage> m_pFileInfoPage;      // owned: the single-file information page
  std::unique_ptr<CWizardPage> m_pMultipleFilePage;  // owned: the multiple-file list page
};
