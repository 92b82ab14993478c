// The criteria and action page (template 133). The user chooses which
// fields make two documents duplicates (a list of mail fields and a list of
// contact fields, each switched on or off as a whole) and what happens to
// duplicates: removed from the original databases by one of four actions
// (delete, trash, move or copy to a sub folder), or the originals left alone
// and cleaned copies written as new NSF files into a chosen folder. Next
// checks the choices, writes them into the run settings and opens the
// summary and progress page (134).
//
// User-interface thread only.
#pragma once

#include "ui/frame/WizardPage.h"

class QTreeWidget;

class SaveingOptionDlg : public frame::CWizardPage {
  Q_OBJECT
public:
  static constexpr int kTemplateId = 133;
  static constexpr int kMailGroup = 1074;
  static constexpr int kMailList = 1015;
  static constexpr int kContactGroup = 1075;
  static constexpr int kContactList = 1073;
  static constexpr int kOriginalMode = 1060;
  static constexpr int kActionCombo = 1057;
  static constexpr int kFolderLabel = 1077;
  static constexpr int kFolderEdit = 1076;
  static constexpr int kNewFileMode = 1061;
  static constexpr int kSavingPath = 1058;
  static constexpr int kBrowse = 1059;

  SaveingOptionDlg(RunSettings& settings, frame::CWizardPage* pCreator);

  void FillSampleContents() override;

protected:
  bool OnInitDialog() override;
  void OnNext() override;

private:
  void SetUpList(int id, const char16_t* const* rows, std::size_t nRows);
  void SelectNewFileMode();
  void SelectOriginalMode();
  void OnActionChanged(int nIndex);
  void OnBrowse();
  std::vector<bool> RowChecks(int id) const;
};
