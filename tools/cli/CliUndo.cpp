#include "tools/cli/CliUndo.h"

#include <cstdio>
#include <iostream>

#include "engine/journal/RecordKinds.h"
#include "platform/Text.h"

namespace cli {

namespace {

class PrintedUndo : public journal::UndoOutput {
public:
  void AddRow(const std::u16string& text) override {
    const std::string line = platform::ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
  void SetProgress(std::size_t, std::size_t) override {}
};

}  // namespace

int RunUndo(const std::u16string& journalPath, const std::function<bool()>& stopRequested) {
  PrintedUndo out;
  const journal::UndoResult result = journal::UndoJournal(platform::ToUtf8(journalPath), out, stopRequested);
  switch (result.status) {
    case journal::UndoStatus::complete:
      return 0;
    case journal::UndoStatus::incomplete:
      // Held by a run still going: nothing was changed, and the message says why.
      if (!result.strError.empty()) std::cerr << "tarnwick-cli: " << result.strError << std::endl;
      return 1;
    case journal::UndoStatus::notAJournal:
      break;
  }
  std::cerr << "tarnwick-cli: " << result.strError << std::endl;
  return 2;
}

}  // namespace cli
