// Putting documents back where a run took them from: each call is committed
// when it returns (a second reader of the file sees it), and the database
// then dumps as it did before the document went.
#include "tests/lnapi/LnapiFixture.h"

namespace {

const std::string kNotes =
    LnapiTest::Doc(4, LnapiTest::Text("Form", "Memo") + "," + LnapiTest::Text("Subject", "kept")) + "," +
    LnapiTest::Doc(8, LnapiTest::Text("Form", "Memo") + "," + LnapiTest::Text("Subject", "taken") +
                          R"j(,{"name": "Subject", "type": "text", "value": "second"})j") +
    R"j(,{"class": "view", "noteId": 400, "name": "($All)", "select": "all"})j"
    R"j(,{"class": "folder", "noteId": 404, "name": "A", "entries": [8, 4]})j"
    R"j(,{"class": "folder", "noteId": 408, "name": "B", "entries": [8]})j"
    R"j(,{"class": "view", "noteId": 412, "name": "Picked", "select": {"entries": [8]}})j";

}  // namespace

class RestoreTest : public LnapiTest {};

TEST_F(RestoreTest, EachWayOfGoingIsReversedAndCommittedAtOnce) {
  struct Case {
    const char* what;
    bool softDeletions;
    bool trash;  // DeleteDocument, else DeleteNote without a stub
    LNNoteLife gone;
  };
  const Case cases[] = {{"deleted without stub", true, false, LNNoteLife::absent},
                        {"deleted leaving a stub", false, true, LNNoteLife::stub},
                        {"moved to the trash", true, true, LNNoteLife::trash}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_db.Close();
    Open(kNotes, c.softDeletions);
    const std::string before = testsupport::DumpWithEntrySets(m_strPath);
    LNNoteImage image;
    ASSERT_EQ(m_db.GetNoteImage(8, &image), LNNOERROR);
    EXPECT_EQ(image.vecItems.size(), 3u);
    EXPECT_EQ(image.strCreated, "2011-02-01T09:05:00");
    std::vector<NOTEID> folders;
    ASSERT_EQ(m_db.GetNoteFolders(8, &folders), LNNOERROR);
    EXPECT_EQ(folders, (std::vector<NOTEID>{404, 408, 412}));
    if (c.trash) {
      LNDocument doc = OpenDoc(8);
      ASSERT_EQ(m_db.DeleteDocument(doc), LNNOERROR);
    } else {
      ASSERT_EQ(m_db.DeleteNote(8, UPDATE_NOSTUB), LNNOERROR);
    }
    EXPECT_EQ(m_db.GetNoteLife(8), c.gone);
    if (c.gone == LNNoteLife::trash) {
      ASSERT_EQ(m_db.RestoreFromTrash(8), LNNOERROR);
      EXPECT_EQ(m_db.RestoreFromTrash(8), LNERR_NOT_FOUND);
    } else {
      ASSERT_EQ(m_db.RestoreNote(image), LNNOERROR);
      ASSERT_EQ(m_db.AddFolderEntries(8, folders), LNNOERROR);
    }
    EXPECT_EQ(m_db.GetNoteLife(8), LNNoteLife::live);
    EXPECT_EQ(m_db.RestoreNote(image), LNERR_EXISTS);  // the id holds the document again
    EXPECT_EQ(testsupport::DumpWithEntrySets(m_strPath), before);
    LNNoteImage again;
    ASSERT_EQ(m_db.GetNoteImage(8, &again), LNNOERROR);
    EXPECT_EQ(again.vecItems, image.vecItems);  // the trash keeps the time it was moved there
    EXPECT_EQ(again.strCreated, image.strCreated);
  }
}

TEST_F(RestoreTest, StubsAndFoldersOnlyChangeWhereTheyShould) {
  Open(kNotes, false);
  EXPECT_EQ(m_db.DropStub(8), LNERR_NOT_FOUND);  // a live document is not a stub
  EXPECT_EQ(m_db.GetNoteLife(404), LNNoteLife::design);
  EXPECT_EQ(m_db.GetNoteLife(999), LNNoteLife::absent);
  LNNoteImage image;
  EXPECT_EQ(m_db.GetNoteImage(404, &image), LNERR_NOT_FOUND);
  LNDocument doc = OpenDoc(8);
  ASSERT_EQ(m_db.DeleteDocument(doc), LNNOERROR);
  EXPECT_EQ(m_db.AddFolderEntries(8, {404}), LNERR_NOT_FOUND);
  ASSERT_EQ(m_db.DropStub(8), LNNOERROR);
  EXPECT_EQ(m_db.GetNoteLife(8), LNNoteLife::absent);
  EXPECT_EQ(testsupport::DumpDatabase(m_strPath).find("\"stubs\": [\n    8"), std::string::npos);
  // Filing twice, or in a folder that is gone, changes nothing.
  ASSERT_EQ(m_db.AddFolderEntries(4, {404, 408, 999}), LNNOERROR);
  ASSERT_EQ(m_db.AddFolderEntries(4, {408}), LNNOERROR);
  EXPECT_EQ(Entries("A"), (std::vector<NOTEID>{4}));
  EXPECT_EQ(Entries("B"), (std::vector<NOTEID>{4}));
  // Inside a transaction the calls join it and go with its rollback.
  ASSERT_EQ(m_db.BeginTransaction(), LNNOERROR);
  ASSERT_EQ(m_db.DeleteNote(4, UPDATE_NOSTUB), LNNOERROR);
  ASSERT_EQ(m_db.RollbackTransaction(), LNNOERROR);
  EXPECT_EQ(m_db.GetNoteLife(4), LNNoteLife::live);
}
