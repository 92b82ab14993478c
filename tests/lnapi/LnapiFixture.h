// A session and a database built from nsf-json text, for the lnapi suites.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "lnapi/LNNotes.h"
#include "tests/support/NsfJson.h"
#include "tests/support/TestSupport.h"

class LnapiTest : public testsupport::TempDirTest {
protected:
  LnapiTest() { m_session.Initialize(); }
  ~LnapiTest() override {
    m_db.Close();
    m_session.Term();
  }

  // Builds db.nsf from the notes given (a JSON array body) and opens it.
  void Open(const std::string& notes, bool softDeletions = true) {
    m_strPath = (m_tmp / "db.nsf").string();
    testsupport::MakeDatabase(m_strPath, std::string("{\"softDeletions\": ") +
                                             (softDeletions ? "true" : "false") +
                                             ", \"notes\": [" + notes + "]}");
    ASSERT_EQ(m_session.GetDatabase(m_strPath.c_str(), &m_db), LNNOERROR);
    m_db.Open();
  }

  // Entry note ids of the view or folder of that name, opened afresh.
  std::vector<NOTEID> Entries(const char* name) {
    LNViewFolder view;
    EXPECT_EQ(m_db.GetViewFolder(name, &view), LNNOERROR) << name;
    EXPECT_EQ(view.Open(0), LNNOERROR);
    std::vector<NOTEID> ids;
    for (LNINT i = 0; i < view.GetEntryCount(); ++i) ids.push_back(view[i].GetNoteID());
    view.Close();
    return ids;
  }

  // Document id, opened, reached through the "($All)" view of the database.
  LNDocument OpenDoc(NOTEID id) {
    LNDocument doc;
    LNVFEntry entry = EntryOf(id);
    EXPECT_FALSE(entry.IsNull()) << id;
    entry.GetDocument(&doc);
    EXPECT_EQ(doc.Open(0), LNNOERROR) << id;
    return doc;
  }

  // The entry of note id in the view "($All)" the fixture databases carry.
  LNVFEntry EntryOf(NOTEID id) {
    LNViewFolder all;
    if (m_db.GetViewFolder("($All)", &all) != LNNOERROR || all.Open(0) != LNNOERROR) return {};
    for (LNINT i = 0; i < all.GetEntryCount(); ++i)
      if (all[i].GetNoteID() == id) return all[i];
    return {};
  }

public:
  static std::string Doc(NOTEID id, const std::string& items) {
    return "{\"class\": \"document\", \"noteId\": " + std::to_string(id) +
           ", \"created\": \"2011-02-01T09:05:00\", \"items\": [" + items + "]}";
  }
  static std::string Text(const char* name, const char* value) {
    return std::string("{\"name\": \"") + name + "\", \"type\": \"text\", \"value\": \"" + value + "\"}";
  }

protected:
  LNNotesSession m_session;
  LNDatabase m_db;
  std::string m_strPath;
  // A Stop flag for m_db: it must outlive the open database, which the
  // destructor closes.
  std::atomic<std::uint8_t> m_running{1};
};
