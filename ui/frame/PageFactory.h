// The registry of wizard page classes, by template id, so that a page opens
// the next page without knowing its class: the start page asks for 129 or
// 131, the list pages for 130, and so on. The program's main registers every
// page class it has (app/RegisterPages.cpp); a template without a registered
// class cannot be created, and the page says so with its creation message.
//
// User-interface thread only.
#pragma once

#include <functional>
#include <memory>

struct RunSettings;

namespace frame {

class CWizardPage;

// Makes the page object (not yet its window). pCreator is the page whose
// Next creates it (never null for the registered pages).
using PageCreator =
    std::function<std::unique_ptr<CWizardPage>(RunSettings& settings, CWizardPage* pCreator)>;

// Registers (or replaces) the class of template nTemplateId; an empty
// creator removes it.
void RegisterPage(int nTemplateId, PageCreator creator);
bool IsPageRegistered(int nTemplateId);
// A new page object, or nullptr when no class is registered.
std::unique_ptr<CWizardPage> CreatePageObject(int nTemplateId, RunSettings& settings,
                                              CWizardPage* pCreator);

// Shorthand for a class with the constructor (RunSettings&, CWizardPage*).
template <class Page>
void RegisterPageClass(int nTemplateId) {
  RegisterPage(nTemplateId, [](RunSettings& settings, CWizardPage* pCreator) {
    return std::unique_ptr<CWizardPage>(new Page(settings, pCreator));
  });
}

}  // namespace frame
