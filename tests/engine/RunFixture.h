// Shared set-up of the run tests: databases from nsf-json text, a run with a
// recording page, and readers for dumps and the log file.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "engine/SummaryRows.h"
#include "platform/Text.h"
#include "tests/engine/RecordingPage.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"

namespace runtest {

inline std::u16string U(const std::filesystem::path& path) {
  return platform::FromUtf8(path.string());
}

// A memo document; every memo made with the same subject and sender is a
// duplicate of the others under every mail criterion.
inline std::string Memo(long long id, const std::string& subject, const std::string& extra = "") {
  return R"J({ "class": "document", "noteId": )J" + std::to_string(id) +
         R"J(, "created": "2010-03-05T14:07:09", "items": [
      { "name": "Form", "type": "text", "value": "Memo" },
      { "name": "Subject", "type": "text", "value": ")J" + subject + R"J(" },
      { "name": "From", "type": "text", "value": "ada@example.org" },
      { "name": "SendTo", "type": "textlist", "value": ["bob@example.org"] },
      { "name": "PostedDate", "type": "time", "value": "2010-03-05T14:07:09" })J" +
         extra + "] }";
}

inline std::string Folder(int id, const std::string& name, const std::string& entries) {
  return R"J({ "class": "folder", "noteId": )J" + std::to_string(id) + R"J(, "name": ")J" + name +
         R"J(", "entries": [)J" + entries + "] }";
}

inline std::string Database(const std::vector<std::string>& notes, bool softDeletions = true) {
  std::string text = R"J({ "format": "nsf-json", "version": 1, "softDeletions": )J" +
                     std::string(softDeletions ? "true" : "false") + R"J(, "notes": [)J";
  for (std::size_t i = 0; i < notes.size(); ++i) text += (i ? ",\n" : "\n") + notes[i];
  return text + "] }";
}

// The log file's text after its byte-order mark, as UTF-16.
inline std::u16string ReadLog(const std::filesystem::path& path, bool* pHasMark = nullptr) {
  const std::string bytes = testsupport::ReadFile(path);
  const bool bMark = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  if (pHasMark) *pHasMark = bMark;
  std::u16string text;
  for (std::size_t i = bMark ? 2 : 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return text;
}

inline std::u16string Dashes() { return u"\r\n " + std::u16string(76, u'-') + u"\r\n"; }
inline std::u16string Header() { return std::u16string(149, u'*') + u"\r\n"; }
inline std::u16string Closing() {
  return u"\r\n" + std::u16string(90, u'/') + u"\r\n\r\nWork Completed!!!!\r\n\r\n";
}
inline std::u16string Kept(int id, const std::u16string& form = u"Memo") {
  const std::u16string n = platform::DecimalText(id);
  return u"\r\nItem ID:\t" + n + u"\r\nItem Type:\t" + form + u"\r\nSaving Item Id:\t" + n + u"\r\n";
}
inline std::u16string Summary(int found, int duplicates) {
  return u"Total Items Found: " + platform::DecimalText(found) + u" , Items Save: " +
         platform::DecimalText(found - duplicates) + u" , Duplicate Items: " +
         platform::DecimalText(duplicates) + u" , Items not save: 0";
}

class RunTest : public testsupport::TempDirTest {
protected:
  RunTest() {
    s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = 1;
    s.m_bMailDateTime = s.m_bMailBody = s.m_bMailAttachments = 1;
    s.m_bContactFirstName = s.m_bContactLastName = s.m_bContactFullName = 1;
    s.m_bContactEmail = 1;
    s.m_strNewNsfFolder = U(m_tmp / "out");
    std::filesystem::create_directories(m_tmp / "out");
  }

  std::filesystem::path Db(const std::string& name, const std::string& json) {
    const std::filesystem::path path = m_tmp / name;
    nsftool::ImportJson(json, path);
    return path;
  }

  // A single-file run over every folder, as the page hands it with every box
  // checked.
  void RunSingle(const std::filesystem::path& db, const RunOptions& extra = {}) {
    s.m_bMultipleFiles = 0;
    s.m_strSingleFilePath = U(db);
    ASSERT_TRUE(SelectEveryFolder(s));
    Run(extra);
  }

  void RunMultiple(const std::vector<std::filesystem::path>& dbs, const RunOptions& extra = {}) {
    s.m_bMultipleFiles = 1;
    s.m_vecFilePaths.clear();
    for (const auto& db : dbs) s.m_vecFilePaths.push_back(U(db));
    Run(extra);
  }

  void Run(const RunOptions& extra) {
    if (page.rows.empty()) page.rows = SummaryRows(s);
    m_nSummaryRows = page.rows.size();
    RunOptions options = extra;
    options.strLogPath = StartRun(s, page, U(m_tmp / "logs"));
    logPath = platform::ToUtf8(options.strLogPath);
    RunWorker(s, page, options);
  }

  // The rows the run added after the summary.
  std::vector<std::u16string> RunRows() const {
    return {page.rows.begin() + static_cast<std::ptrdiff_t>(m_nSummaryRows), page.rows.end()};
  }

  // The log file after the header and the copied rows.
  std::u16string RunLogText() {
    s.m_logFile.Close();
    std::u16string head = Header();
    for (std::size_t i = 0; i < m_nSummaryRows; ++i) head += page.rows[i] + u"\r\n";
    const std::u16string text = ReadLog(logPath);
    EXPECT_EQ(text.substr(0, head.size()), head);
    return text.substr(std::min(head.size(), text.size()));
  }

  static nlohmann::json Dump(const std::filesystem::path& db) {
    return nlohmann::json::parse(nsftool::DumpJson(db));
  }
  static std::set<int> DocumentIds(const nlohmann::json& dump) {
    std::set<int> ids;
    for (const auto& note : dump["notes"])
      if (note["class"] == "document") ids.insert(note["noteId"].get<int>());
    return ids;
  }
  static std::vector<int> Entries(const nlohmann::json& dump, const std::string& folder) {
    for (const auto& note : dump["notes"])
      if (note.contains("name") && note["name"] == folder && note.contains("entries"))
        return note["entries"].get<std::vector<int>>();
    return {};
  }
  static nlohmann::json NoteById(const nlohmann::json& dump, int id) {
    for (const auto& note : dump["notes"])
      if (note["noteId"] == id) return note;
    return {};
  }

  // The one copy made in the saving folder.
  std::filesystem::path OnlyCopy() {
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(m_tmp / "out"))
      copies.push_back(entry.path());
    EXPECT_EQ(copies.size(), 1u);
    return copies.empty() ? std::filesystem::path() : copies.front();
  }

  RunSettings s;
  RecordingPage page;
  std::string logPath;
  std::size_t m_nSummaryRows = 0;
};

}  // namespace runtest
