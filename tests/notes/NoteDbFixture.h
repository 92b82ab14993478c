// A test database built from nsf-json notes, opened through the Notes API,
// with its documents reachable by note id. Shared by the notes and keys
// suites.
#pragma once

#include <string>

#include "lnapi/LNNotes.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"

namespace testsupport {

class NoteDbTest : public TempDirTest {
protected:
  NoteDbTest() { (void)m_session.Initialize(); }
  ~NoteDbTest() override {
    if (m_db.IsOpen()) (void)m_db.Close();
    (void)m_session.Term();
  }

  // notesJson: the members of the "notes" array, without brackets. A view
  // "($All)" selecting every document is added.
  void OpenDatabase(const std::string& notesJson, const std::string& name = "test.nsf") {
    if (m_db.IsOpen()) (void)m_db.Close();
    const std::string json = R"({"format":"nsf-json","version":1,"notes":[)" + notesJson +
                             R"js(,{"class":"view","noteId":4,"name":"($All)","select":"all"}]})js";
    nsftool::ImportJson(json, m_tmp / name, true);
    ASSERT_EQ(m_session.GetDatabase((m_tmp / name).string().c_str(), &m_db), LNNOERROR);
    ASSERT_EQ(m_db.Open(), LNNOERROR);
  }

  // The open document with that note id (a null document when there is none).
  LNMailMessage Doc(NOTEID id) {
    LNViewFolder all;
    LNMailMessage mail;
    if (m_db.GetViewFolder("($All)", &all) != LNNOERROR || all.Open(0, m_db) != LNNOERROR)
      return mail;
    for (LNINT i = 0; i < all.GetEntryCount(); ++i) {
      if (all[i].GetNoteID() != id) continue;
      LNDocument doc;
      (void)all[i].GetDocument(&doc);
      (void)doc.Open(0);
      mail = doc;
    }
    (void)all.Close();
    return mail;
  }

  LNNotesSession m_session;
  LNDatabase m_db;
};

}  // namespace testsupport
