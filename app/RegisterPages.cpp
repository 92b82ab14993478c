#include "app/RegisterPages.h"

#include "ui/frame/PageFactory.h"
#include "ui/pages/MultipleFileDlg.h"

// The pages of the later steps plug in once their classes exist (header and
// source, so a class half written in the work tree does not break the build).
#if __has_include("ui/pages/Fileinfodlg.h") && __has_include("ui/pages/Fileinfodlg.cpp")
#include "ui/pages/Fileinfodlg.h"
#define TARNWICK_HAS_FILEINFODLG 1
#endif
#if __has_include("ui/pages/OptionDlg.h") && __has_include("ui/pages/OptionDlg.cpp")
#include "ui/pages/OptionDlg.h"
#define TARNWICK_HAS_OPTIONDLG 1
#endif
#if __has_include("ui/pages/SaveingOptionDlg.h") && __has_include("ui/pages/SaveingOptionDlg.cpp")
#include "ui/pages/SaveingOptionDlg.h"
#define TARNWICK_HAS_SAVEINGOPTIONDLG 1
#endif
#if __has_include("ui/pages/progressDlg.h") && __has_include("ui/pages/progressDlg.cpp")
#include "ui/pages/progressDlg.h"
#define TARNWICK_HAS_PROGRESSDLG 1
#endif

void RegisterWizardPages() {
  frame::RegisterPageClass<MultipleFileDlg>(131);
#ifdef TARNWICK_HAS_FILEINFODLG
  frame::RegisterPageClass<Fileinfodlg>(129);
#endif
#ifdef TARNWICK_HAS_OPTIONDLG
  frame::RegisterPageClass<OptionDlg>(130);
#endif
#ifdef TARNWICK_HAS_SAVEINGOPTIONDLG
  frame::RegisterPageClass<SaveingOptionDlg>(133);
#endif
#ifdef TARNWICK_HAS_PROGRESSDLG
  frame::RegisterPageClass<progressDlg>(134);
#endif
}
