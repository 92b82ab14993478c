#include "ui/frame/PageFactory.h"

#include <map>

#include "ui/frame/WizardPage.h"

namespace frame {

namespace {
std::map<int, PageCreator>& Registry() {
  static std::map<int, PageCreator> registry;
  return registry;
}
}  // namespace

void RegisterPage(int nTemplateId, PageCreator creator) {
  if (creator) Registry()[nTemplateId] = std::move(creator);
  else Registry().erase(nTemplateId);
}

bool IsPageRegistered(int nTemplateId) { return Registry().count(nTemplateId) != 0; }

std::unique_ptr<CWizardPage> CreatePageObject(int nTemplateId, RunSettings& settings,
                                              CWizardPage* pCreator) {
  const auto it = Registry().find(nTemplateId);
  if (it == Registry().end()) return nullptr;
  return it->second(settings, pCreator);
}

}  // namespace frame
