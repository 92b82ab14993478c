// Reports as files: reading one (--spare, the review's import) and writing
// a text file whole (--report, the review's exports).
//
// Messages name the file and the problem, ready for the user. Any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "engine/report/Report.h"

namespace report {

struct LoadedReport {
  std::optional<Report> report;
  std::string strError;  // "FILE cannot be read (reason)" or "FILE is not a Tarnwick report (reason)"
};
[[nodiscard]] LoadedReport LoadReportFile(const std::string& path);

// Writes text to a new file beside path and renames it into place, so that
// path holds either the whole new text or what it held before. False, with
// *strError naming the file and the reason, when that fails.
[[nodiscard]] bool SaveTextFile(const std::string& path, const std::string& text,
                                std::string* strError);
// The same, for text made piece by piece: produce hands each piece to the
// sink it is given.
[[nodiscard]] bool SaveTextFile(const std::string& path,
                                const std::function<void(const TextSink&)>& produce,
                                std::string* strError);

}  // namespace report
