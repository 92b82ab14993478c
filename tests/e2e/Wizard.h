// The wizard as a test drives it: the start page made as the program makes
// it, the page in front found along the chain of pages, clicks that answer
// the message boxes they raise, and readers for the databases a run leaves.
#pragma once

#include <QAbstractButton>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "engine/RunSettings.h"
#include "tests/support/NsfJson.h"
#include "tests/ui_options/PageRun.h"
#include "ui/pages/CTarnwickDlg.h"

namespace e2e {

class WizardTest : public testsupport::TempDirTest {
protected:
  WizardTest() {
    m_pStart = std::make_unique<CTarnwickDlg>(m_settings);
    EXPECT_TRUE(m_pStart->Create());
    m_pStart->show();
  }
  ~WizardTest() override {
    m_pStart.reset();  // every later page goes with it; a run is waited for
    uitest::Pump();
  }

  // The page in front: the last visible page along the chain.
  frame::CWizardPage* Front() const {
    frame::CWizardPage* page = m_pStart.get();
    frame::CWizardPage* front = page->isVisible() ? page : nullptr;
    page = m_pStart->FileInfoPage() ? m_pStart->FileInfoPage() : m_pStart->MultipleFilePage();
    while (page) {
      if (page->isVisible()) front = page;
      page = page->NextPage();
    }
    return front;
  }
  template <class Page>
  Page* FrontAs() const {
    auto* page = dynamic_cast<Page*>(Front());
    EXPECT_NE(page, nullptr) << "the expected page is not in front";
    return page;
  }

  // Clicks control id of the page in front; answers and returns the boxes.
  std::vector<uitest::SeenBox> Click(int id, std::vector<QMessageBox::StandardButton> answers = {}) {
    frame::CWizardPage* page = Front();
    EXPECT_NE(page, nullptr);
    auto* button = page ? page->DlgItem<QAbstractButton>(id) : nullptr;
    EXPECT_NE(button, nullptr) << "no button " << id;
    if (!button) return {};
    EXPECT_TRUE(button->isEnabled()) << "button " << id << " is disabled";
    return uitest::AnswerMessageBoxes([&] { QTest::mouseClick(button, Qt::LeftButton); },
                                      std::move(answers));
  }
  void Type(int id, const QString& text) {
    frame::CWizardPage* page = Front();
    ASSERT_NE(page, nullptr);
    QWidget* edit = page->GetDlgItem(id);
    ASSERT_NE(edit, nullptr);
    page->SetDlgItemText(id, QString());
    QTest::keyClicks(edit, text);
  }

  RunSettings m_settings;
  std::unique_ptr<CTarnwickDlg> m_pStart;
};

// What one folder pass is expected to do: the documents it keeps, in folder
// order, and how many it finds and judges duplicates.
struct FolderExpect {
  std::vector<int> kept;
  int nFound = 0;
  int nDuplicates = 0;
};
// By database (in the order the run opens them), then the database's
// folders in the order the run must pass them.
using RunExpect = std::vector<std::vector<std::pair<std::u16string, FolderExpect>>>;

// The log file a run must have written: the header, the rows the list held
// at Start Process, then every expected folder's section, then the closing
// lines. Built from the expectation alone, so a folder the run left out of
// both its rows and its log still fails the comparison.
inline std::u16string ExpectedLog(const std::vector<std::u16string>& head, const RunExpect& expect) {
  using namespace pagerun;
  std::u16string text = Header() + CopiedRows(head);
  for (const auto& folders : expect) {
    for (const auto& [name, folder] : folders) {
      text += Dashes() + u"Processing Folder :\t " + name + u"\r\n";
      for (int id : folder.kept) text += Kept(id);
      text += Summary(folder.nFound, folder.nDuplicates) + u"\r\n\r\n";
    }
  }
  return text + Closing();
}

// A database as the store dumps it.
inline nlohmann::json Dump(const std::filesystem::path& db) {
  return nlohmann::json::parse(testsupport::DumpDatabase(db));
}

inline std::set<long long> DocumentIds(const nlohmann::json& dump) {
  std::set<long long> ids;
  for (const auto& note : dump["notes"])
    if (note["class"] == "document") ids.insert(note["noteId"].get<long long>());
  return ids;
}

inline const nlohmann::json* FindFolder(const nlohmann::json& dump, const std::string& name) {
  for (const auto& note : dump["notes"])
    if (note["class"] == "folder" && note["name"] == name) return &note;
  return nullptr;
}

inline std::vector<long long> FolderEntries(const nlohmann::json& dump, const std::string& name) {
  const nlohmann::json* folder = FindFolder(dump, name);
  EXPECT_NE(folder, nullptr) << "no folder " << name;
  if (!folder) return {};
  return (*folder)["entries"].get<std::vector<long long>>();
}

inline std::string SubjectOf(const nlohmann::json& dump, long long id) {
  for (const auto& note : dump["notes"]) {
    if (note["class"] != "document" || note["noteId"] != id) continue;
    for (const auto& item : note["items"])
      if (item["name"] == "Subject") return item["value"].get<std::string>();
  }
  return {};
}

}  // namespace e2e
