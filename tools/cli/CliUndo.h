// tarnwick-cli --undo JOURNAL: reverses the run that wrote the journal,
// printing its rows on standard output. Returns the exit status: 0 every
// disposal was reversed (or already was), 1 some could not be, the journal
// is damaged, or a run still going holds it (a message on standard error),
// 2 the journal is missing or not a journal (a message on standard error).
#pragma once

#include <functional>
#include <string>

namespace cli {

int RunUndo(const std::u16string& journalPath, const std::function<bool()>& stopRequested = {});

}  // namespace cli
