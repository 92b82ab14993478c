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

// A text file written whole, made in two steps so that a file that cannot
// be created is known before any work is done (the report of a run): Create
// makes a new, empty file beside path, readable by the owner only whatever
// the umask (a report holds subjects, senders, bodies); Commit fills it and
// renames it into place, so that path holds either the whole new text or
// what it held before. A draft never committed is removed with the object.
// Nothing planted at the draft's name is ever written through: a taken name
// makes it take another. One thread at a time.
class TextFileDraft {
public:
  TextFileDraft() = default;
  ~TextFileDraft();
  TextFileDraft(const TextFileDraft&) = delete;
  TextFileDraft& operator=(const TextFileDraft&) = delete;

  // False with *strError (the reason, without the path) when it cannot be made.
  [[nodiscard]] bool Create(const std::string& path, std::string* strError);
  // False, with *strError naming the file and the reason, when that fails;
  // the draft is gone either way.
  [[nodiscard]] bool Commit(const std::function<void(const TextSink&)>& produce, std::string* strError);
  bool IsCreated() const { return m_fd >= 0; }
  const std::string& DraftPath() const { return m_strDraft; }

private:
  void Discard();
  std::string m_strPath, m_strDraft;
  int m_fd = -1;
};

// Writes text to a new file beside path and renames it into place, so that
// path holds either the whole new text or what it held before (a
// TextFileDraft made and committed at once). False, with *strError naming
// the file and the reason, when that fails.
[[nodiscard]] bool SaveTextFile(const std::string& path, const std::string& text,
                                std::string* strError);
// The same, for text made piece by piece: produce hands each piece to the
// sink it is given.
[[nodiscard]] bool SaveTextFile(const std::string& path,
                                const std::function<void(const TextSink&)>& produce,
                                std::string* strError);

}  // namespace report
