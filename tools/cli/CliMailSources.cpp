#include "tools/cli/CliMailSources.h"

#include <iostream>

#include "engine/Run.h"
#include "mail/RunWithSources.h"
#include "platform/Text.h"

namespace cli {

namespace {

std::u16string WithoutTrailingSlash(std::u16string path) {
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

}  // namespace

void NormalizeMailSourcePaths(RunSettings& s) {
  auto normalize = [](std::u16string& path) {
    const std::u16string trimmed = WithoutTrailingSlash(path);
    if (trimmed != path && mailio::IsMailSource(platform::ToUtf8(trimmed))) path = trimmed;
  };
  normalize(s.m_strSingleFilePath);
  for (std::u16string& path : s.m_vecFilePaths) normalize(path);
}

mailio::MailSourceSettings MailSourceSettingsFor(const RunSettings& s, bool bDryRun) {
  return mailio::MailSourceSettingsForRun(s, bDryRun);
}

bool SelectEveryFolderOfSource(RunSettings& s, mailio::MailSourceProvider& sources, bool bQuiet) {
  const std::u16string source = s.m_strSingleFilePath;
  if (!sources.Handles(source)) return SelectEveryFolder(s);
  std::u16string failure;
  const std::u16string work = sources.Prepare(source, &failure);
  if (work.empty()) {
    // Given up for Stop: nothing is selected, and the run only ends cleanly.
    if (failure.empty()) return true;
    // A failure row, printed where the run's rows would go.
    (bQuiet ? std::cerr : std::cout) << platform::ToUtf8(failure) << std::endl;
    return false;
  }
  s.m_strSingleFilePath = work;
  const bool selected = SelectEveryFolder(s);
  s.m_strSingleFilePath = source;
  return selected;
}

}  // namespace cli
