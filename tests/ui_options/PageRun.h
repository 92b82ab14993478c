// Helpers for widget tests that run the engine on the summary and progress
// page: databases from nsf-json text, pressing Start Process and waiting for
// the worker while answering the message boxes, and reading the log file.
// Header-only; shared with the end-to-end suite. User-interface thread.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/pages/progressDlg.h"

namespace pagerun {

inline constexpr const char* kCompleted =
    "Duplicate removing process for selected NSF file(s) has been done successfully.";

// A memo; memos with the same subject and date are duplicates under every
// mail criterion (same sender, receiver and empty body).
inline std::string Memo(long long id, const std::string& subject,
                        const std::string& posted = "2010-03-05T14:07:09") {
  return R"J({ "class": "document", "noteId": )J" + std::to_string(id) +
         R"J(, "created": ")J" + posted + R"J(", "items": [
      { "name": "Form", "type": "text", "value": "Memo" },
      { "name": "Subject", "type": "text", "value": ")J" + subject + R"J(" },
      { "name": "From", "type": "text", "value": "ada@example.org" },
      { "name": "SendTo", "type": "textlist", "value": ["bob@example.org"] },
      { "name": "PostedDate", "type": "time", "value": ")J" + posted + R"J(" } ] })J";
}

inline std::string Folder(int id, const std::string& name, const std::string& entries) {
  return R"J({ "class": "folder", "noteId": )J" + std::to_string(id) + R"J(, "name": ")J" + name +
         R"J(", "entries": [)J" + entries + "] }";
}

inline std::string Database(const std::vector<std::string>& notes) {
  std::string text = R"J({ "format": "nsf-json", "version": 1, "notes": [)J";
  for (std::size_t i = 0; i < notes.size(); ++i) text += (i ? ",\n" : "\n") + notes[i];
  return text + "] }";
}

inline std::u16string U(const std::filesystem::path& path) {
  return platform::FromUtf8(path.string());
}
inline std::filesystem::path P(const std::u16string& path) {
  return std::filesystem::path(platform::ToUtf8(path));
}
inline QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

// Waits, handling events, until done() holds or timeoutMs passed.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Presses Start Process, answers the boxes (Yes or Ok first, see answers)
// and waits until the worker has finished. onRow, when set, sees every row
// the run adds, on the user-interface thread while the worker waits for it.
inline std::vector<uitest::SeenBox> StartAndWait(
    progressDlg& page, std::vector<QMessageBox::StandardButton> answers = {},
    const std::function<void(const QString&)>& onRow = {}) {
  uitest::MessageBoxAnswerer answerer(std::move(answers));
  QMetaObject::Connection rows;
  auto* list = page.DlgItem<QTreeWidget>(RunPage::kLogList);
  if (onRow) {
    rows = QObject::connect(list->model(), &QAbstractItemModel::rowsInserted,
                            [list, onRow](const QModelIndex&, int first, int) {
                              onRow(list->topLevelItem(first)->text(0));
                            });
  }
  page.DlgItem<QAbstractButton>(RunPage::kStartProcess)->click();
  EXPECT_TRUE(PumpUntil([&] { return !page.IsRunning(); })) << "the run did not end";
  uitest::Pump();
  QObject::disconnect(rows);
  return answerer.seen;
}

// The log file's text after its byte-order mark (which must be there).
inline std::u16string ReadLog(const std::filesystem::path& path) {
  const std::string bytes = testsupport::ReadFile(path);
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE")) << "no byte-order mark";
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return text;
}

inline std::u16string Header() { return std::u16string(149, u'*') + u"\r\n"; }
inline std::u16string Closing() {
  return u"\r\n" + std::u16string(90, u'/') + u"\r\n\r\nWork Completed!!!!\r\n\r\n";
}
inline std::u16string Dashes() { return u"\r\n " + std::u16string(76, u'-') + u"\r\n"; }
inline std::u16string Kept(int id, const std::u16string& form = u"Memo") {
  const std::u16string n = platform::DecimalText(id);
  return u"\r\nItem ID:\t" + n + u"\r\nItem Type:\t" + form + u"\r\nSaving Item Id:\t" + n + u"\r\n";
}
inline std::u16string Summary(int found, int duplicates) {
  return u"Total Items Found: " + platform::DecimalText(found) + u" , Items Save: " +
         platform::DecimalText(found - duplicates) + u" , Duplicate Items: " +
         platform::DecimalText(duplicates) + u" , Items not save: 0";
}
// The rows as the log file's head copies them.
inline std::u16string CopiedRows(const std::vector<std::u16string>& rows) {
  std::u16string text;
  for (const auto& row : rows) text += row + u"\r\n";
  return text;
}

}  // namespace pagerun
