// Listing, view selection, folders, copies and deletion of the store as the
// engine relies on them.
#include <chrono>
#include <filesystem>
#include <thread>

#include "lnapi/store/Store.h"
#include "tests/lnapi/LnapiFixture.h"

namespace {

const char* const kAll = R"j({"class": "view", "noteId": 400, "name": "($All)", "select": "all"})j";

std::string Memo(NOTEID id, const char* subject, const char* form = "Memo") {
  return LnapiTest::Doc(id, LnapiTest::Text("Form", form) + "," + LnapiTest::Text("Subject", subject));
}

}  // namespace

TEST_F(LnapiTest, ViewsAndFoldersAreListedInAscendingNoteId) {
  Open(std::string(R"j({"class": "folder", "noteId": 40, "name": "Projects\\2019"},)j") +
       R"j({"class": "view", "noteId": 12, "name": "($Sent)", "select": {"hasItem": "PostedDate"}},)j" +
       R"j({"class": "folder", "noteId": 8, "name": "($Inbox)"},)j" + Memo(4, "a") + "," +
       R"j({"class": "view", "noteId": 16, "name": "($Calendar)", "viewType": 3})j");
  LNViewFolderArray list;
  ASSERT_EQ(m_db.GetViewFolders(&list, 1), LNNOERROR);
  ASSERT_EQ(list.GetCount(), 4);
  std::vector<std::string> names;
  for (LNINT i = 0; i < list.GetCount(); ++i) {
    LNViewFolder vf = list[i];
    ASSERT_EQ(vf.Open(0), LNNOERROR);
    names.push_back(vf.GetName().Bytes());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"($Inbox)", "($Sent)", "($Calendar)", "Projects\\2019"}));
  EXPECT_TRUE(list[0].IsFolder());
  EXPECT_FALSE(list[1].IsFolder());
  EXPECT_EQ(list[2].GetType(), 3);
  EXPECT_EQ(list[3].GetNoteID(), 40u);
}

TEST_F(LnapiTest, RuleViewsSelectLiveDocumentsInAscendingId) {
  Open(Memo(20, "b") + "," + Memo(8, "a", "Reply") + "," + Memo(12, "c", "Person") + "," +
       Doc(16, Text("Form", "Memo") + R"j(,{"name": "PostedDate", "type": "time", "value": "2010-03-05T14:07:09"})j") +
       "," + kAll +
       R"j(,{"class": "view", "noteId": 404, "name": "Mail", "select": {"form": ["Memo", "Reply"]}})j"
       R"j(,{"class": "view", "noteId": 408, "name": "($Sent)", "select": {"hasItem": "postedDATE"}})j"
       R"j(,{"class": "view", "noteId": 412, "name": "Picked", "select": {"entries": [20, 8]}})j");
  EXPECT_EQ(Entries("($All)"), (std::vector<NOTEID>{8, 12, 16, 20}));
  EXPECT_EQ(Entries("Mail"), (std::vector<NOTEID>{8, 16, 20}));
  EXPECT_EQ(Entries("($Sent)"), (std::vector<NOTEID>{16}));  // item names ignore letter case
  EXPECT_EQ(Entries("Picked"), (std::vector<NOTEID>{8, 20}));
  LNDocument doc = OpenDoc(20);
  ASSERT_EQ(m_db.DeleteDocument(doc), LNNOERROR);  // to the trash
  EXPECT_EQ(Entries("($All)"), (std::vector<NOTEID>{8, 12, 16}));
  EXPECT_EQ(Entries("Mail"), (std::vector<NOTEID>{8, 16}));
  EXPECT_EQ(Entries("Picked"), (std::vector<NOTEID>{8}));
}

TEST_F(LnapiTest, FormViewGivesUpForStopAndIsWholeAfterwards) {
  Open(Memo(8, "a") + "," + Memo(12, "c", "Person") +
       R"j(,{"class": "view", "noteId": 404, "name": "People", "select": {"form": ["Person"]}})j");
  m_running = 0;
  m_db.SetStopFlag(&m_running);
  LNViewFolder people;
  ASSERT_EQ(m_db.GetViewFolder(404, &people), LNNOERROR);
  try {
    people.Open(0);
    people.GetEntryCount();
    ADD_FAILURE() << "a stopped run still listed the documents by form";
  } catch (LNSTATUS status) {
    EXPECT_EQ(lnapi::ErrorCode(status), LNERR_STOPPED);
  }
  m_running = 1;  // the half-read index must not be taken for the whole one
  EXPECT_EQ(Entries("People"), (std::vector<NOTEID>{12}));
}

// The documents by form are kept between views; whatever a connection does
// to the file meanwhile, a view shows the documents as they are now.
TEST_F(LnapiTest, FormViewFollowsDeletionsRollbacksAndNewForms) {
  Open(Memo(8, "a", "Person") + "," + Memo(12, "b", "Person") + "," + Memo(16, "c", "Person") + "," + kAll +
       R"j(,{"class": "view", "noteId": 404, "name": "People", "select": {"form": ["Person"]}})j");
  using lnapi::store::Store;
  const std::unique_ptr<Store> store = Store::Open(m_strPath);
  const auto people = store->FindDesignNote("People");
  const auto all = store->FindDesignNote("($All)");
  ASSERT_TRUE(people && all);
  // The view by form and the view of every live document, which both keep
  // what they worked out across this connection's own removals.
  const auto expect = [&](const std::vector<NOTEID>& ids) {
    EXPECT_EQ(store->Entries(*people), ids);
    EXPECT_EQ(store->Entries(*all), ids);
  };
  expect({8, 12, 16});
  store->Erase(8, false);
  expect({12, 16});
  store->Begin();
  store->MoveToTrash(12);
  expect({16});
  store->Rollback();
  expect({12, 16});
  store->Begin();
  store->Erase(16, true);
  store->Commit();
  expect({12});
  store->ReplaceItems(12, {lnapi::store::StoredItem{"Form", 1280, "Memo"}});
  EXPECT_EQ(store->Entries(*people), (std::vector<NOTEID>{}));
  EXPECT_EQ(store->Entries(*all), (std::vector<NOTEID>{12}));
  // Another connection's change is seen too.
  LNDocument doc = OpenDoc(12);
  ASSERT_EQ(m_db.DeleteDocument(doc), LNNOERROR);
  EXPECT_EQ(store->Entries(*all), (std::vector<NOTEID>{}));
}

TEST_F(LnapiTest, AClosedDatabaseIsTakenBackOnlyWhileItsFileIsUnchanged) {
  Open(Memo(8, "a") + "," + Memo(12, "b") + "," + kAll);
  m_db.Close();
  using lnapi::store::Store;
  const auto live = [](Store& store) { return store.Entries(*store.FindDesignNote("($All)")); };
  // A file changed within the file system's clock tick is never parked.
  const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); };
  settle();
  std::unique_ptr<Store> store = Store::Open(m_strPath);
  ASSERT_EQ(live(*store), (std::vector<NOTEID>{8, 12}));
  const Store* const parked = store.get();
  Store::Park(std::move(store));
  store = Store::OpenAgain(m_strPath);
  EXPECT_EQ(store.get(), parked);

  // Changed by another connection while parked.
  Store::Park(std::move(store));
  Store::Open(m_strPath)->Erase(8, false);
  store = Store::OpenAgain(m_strPath);
  EXPECT_EQ(live(*store), (std::vector<NOTEID>{12}));

  // Another database renamed into its place.
  settle();
  Store::Park(std::move(store));
  const std::string other = (m_tmp / "other.nsf").string();
  testsupport::MakeDatabase(other, "{\"notes\": [" + Memo(16, "c") + "," + kAll + "]}");
  std::filesystem::rename(other, m_strPath);
  store = Store::OpenAgain(m_strPath);
  EXPECT_EQ(live(*store), (std::vector<NOTEID>{16}));

  // Closed with a change never committed: the change is rolled back.
  settle();
  store->Begin();
  store->Erase(16, false);
  Store::Park(std::move(store));
  store = Store::OpenAgain(m_strPath);
  EXPECT_EQ(live(*store), (std::vector<NOTEID>{16}));

  // Let go on demand, before its file is deleted: no descriptor stays on it.
  settle();
  Store::Park(std::move(store));
  std::filesystem::remove(m_strPath);
  const auto held = [&] {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (std::filesystem::read_symlink(fd.path(), ec).string() == m_strPath + " (deleted)") return true;
    }
    return false;
  };
  EXPECT_TRUE(held());
  Store::CloseParked();
  EXPECT_FALSE(held());
}

TEST_F(LnapiTest, FolderKeepsEntryOrderAndAddsAtTheEnd) {
  Open(Memo(4, "a") + "," + Memo(8, "b") + "," + Memo(12, "c") + "," + kAll +
       R"j(,{"class": "folder", "noteId": 300, "name": "Work", "entries": [12, 4]})j");
  EXPECT_EQ(Entries("Work"), (std::vector<NOTEID>{12, 4}));
  LNViewFolder work;
  ASSERT_EQ(m_db.GetViewFolder(300, &work), LNNOERROR);
  ASSERT_EQ(work.Open(0), LNNOERROR);
  EXPECT_EQ(work.GetEntryCount(), 2);
  EXPECT_TRUE(work[2].IsNull());
  EXPECT_TRUE(work[-1].IsNull());
  EXPECT_EQ(work.FolderAddDocument(OpenDoc(8)), LNNOERROR);
  EXPECT_EQ(work.FolderAddDocument(OpenDoc(4)), LNNOERROR);  // already there: no second entry
  // The open snapshot does not move while a pass walks it.
  EXPECT_EQ(work.GetEntryCount(), 2);
  EXPECT_EQ(work.Save(0), LNNOERROR);
  work.Close();
  EXPECT_EQ(Entries("Work"), (std::vector<NOTEID>{12, 4, 8}));
}

TEST_F(LnapiTest, GetViewFolderFindsByExactNameOrId) {
  Open(std::string(kAll) + R"j(,{"class": "folder", "noteId": 8, "name": "($Inbox)"})j");
  LNViewFolder vf;
  EXPECT_EQ(m_db.GetViewFolder("($Inbox)", &vf), LNNOERROR);
  EXPECT_EQ(vf.GetNoteID(), 8u);
  EXPECT_EQ(m_db.GetViewFolder("($inbox)", &vf), LNERR_NOT_FOUND);
  EXPECT_EQ(m_db.GetViewFolder(400, &vf), LNNOERROR);
  EXPECT_EQ(vf.GetName().Bytes(), "($All)");
  EXPECT_EQ(m_db.GetViewFolder(404, &vf), LNERR_NOT_FOUND);
}

TEST_F(LnapiTest, CreatedFolderGetsALargerIdAndRefusesItsNameTwice) {
  Open(Memo(4, "a") + "," + kAll + R"j(,{"class": "folder", "noteId": 1002, "name": "Old"})j");
  LNViewFolder folder;
  ASSERT_EQ(m_db.CreateFolder("Projects\\2019", &folder), LNNOERROR);
  EXPECT_EQ(folder.GetNoteID(), 1004u);
  EXPECT_TRUE(folder.IsFolder());
  EXPECT_EQ(m_db.CreateFolder("Projects\\2019", &folder), LNERR_EXISTS);
  LNViewFolder found;
  ASSERT_EQ(m_db.GetViewFolder("Projects\\2019", &found), LNNOERROR);
  ASSERT_EQ(found.Open(0), LNNOERROR);
  EXPECT_EQ(found.GetEntryCount(), 0);
  // An erased note's id is never handed out again.
  ASSERT_EQ(m_db.DeleteNote(1004, UPDATE_NOSTUB), LNNOERROR);
  ASSERT_EQ(m_db.CreateFolder("Again", &folder), LNNOERROR);
  EXPECT_EQ(folder.GetNoteID(), 1008u);
}

TEST_F(LnapiTest, CopyHasEveryItemANewIdAndTheSameCreationTime) {
  Open(Doc(4, Text("Form", "Memo") + "," + Text("Body", "one") + "," + Text("Body", "two") +
              R"j(,{"name": "$FILE", "type": "attachment", "fileName": "a.txt", "data": "aGk="})j") +
       "," + kAll + R"j(,{"class": "folder", "noteId": 300, "name": "Target"})j");
  LNDocument source = OpenDoc(4), copy;
  ASSERT_EQ(m_db.CreateDocument(source, &copy), LNNOERROR);
  EXPECT_EQ(copy.GetNoteID(), 404u);
  EXPECT_TRUE(copy.IsOpen());
  EXPECT_EQ(copy.Save(0), LNNOERROR);
  copy.Close();
  LNDocument reread = OpenDoc(404);
  LNItem body;
  ASSERT_EQ(reread.GetItem("Body", &body), LNNOERROR);
  EXPECT_EQ(body.GetValueSize(), 3u);
  LNAttachmentArray attachments;
  ASSERT_EQ(reread.GetAttachments(&attachments), LNNOERROR);
  ASSERT_EQ(attachments.GetCount(), 1);
  EXPECT_EQ(attachments[0].GetAttachmentName().Bytes(), "a.txt");
  EXPECT_EQ(attachments[0].GetSize(), 2u);
  LNDatetime created;
  ASSERT_EQ(reread.GetCreated(&created), LNNOERROR);
  LNINT month = 0, day = 0, year = 0;
  created.GetDate(&month, &day, &year);
  EXPECT_EQ(year * 10000 + month * 100 + day, 20110201);
  EXPECT_NE(testsupport::DumpDatabase(m_strPath).find(R"j("value": "two")j"), std::string::npos);
}

TEST_F(LnapiTest, DeleteDocumentTrashesWhenSoftDeletionsAreOn) {
  Open(Memo(4, "a") + "," + Memo(8, "b") + "," + kAll +
       R"j(,{"class": "folder", "noteId": 300, "name": "F", "entries": [4, 8]})j");
  LNDocument doc = OpenDoc(4);
  ASSERT_EQ(m_db.DeleteDocument(doc), LNNOERROR);
  EXPECT_FALSE(doc.IsOpen());
  EXPECT_EQ(Entries("F"), (std::vector<NOTEID>{8}));
  const std::string dump = testsupport::DumpDatabase(m_strPath);
  EXPECT_NE(dump.find("\"trash\": [\n    4\n  ]"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"stubs\": []"), std::string::npos);
}

TEST_F(LnapiTest, DeleteDocumentLeavesAStubWhenSoftDeletionsAreOff) {
  Open(Memo(4, "a") + "," + Memo(8, "b") + "," + kAll +
           R"j(,{"class": "folder", "noteId": 300, "name": "F", "entries": [4, 8]})j",
       false);
  LNDocument doc = OpenDoc(4);
  ASSERT_EQ(m_db.DeleteDocument(doc), LNNOERROR);
  EXPECT_EQ(Entries("F"), (std::vector<NOTEID>{8}));
  EXPECT_NE(doc.Open(0), LNNOERROR);
  const std::string dump = testsupport::DumpDatabase(m_strPath);
  EXPECT_NE(dump.find("\"stubs\": [\n    4\n  ]"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("\"noteId\": 4,"), std::string::npos);
}

TEST_F(LnapiTest, DeleteNoteWithNoStubFlagLeavesNothing) {
  Open(Memo(4, "a") + "," + Memo(8, "b") + "," + kAll +
       R"j(,{"class": "folder", "noteId": 300, "name": "F", "entries": [4, 8]})j");
  ASSERT_EQ(m_db.DeleteNote(4, UPDATE_NOSTUB), LNNOERROR);
  EXPECT_EQ(m_db.DeleteNote(4, UPDATE_NOSTUB), LNERR_NOT_FOUND);
  ASSERT_EQ(m_db.DeleteNote(8, 0), LNNOERROR);  // without the flag: a stub
  EXPECT_EQ(Entries("F"), std::vector<NOTEID>{});
  const std::string dump = testsupport::DumpDatabase(m_strPath);
  EXPECT_NE(dump.find("\"stubs\": [\n    8\n  ]"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"trash\": []"), std::string::npos);
}

TEST_F(LnapiTest, RolledBackTransactionLeavesNoChange) {
  Open(Memo(4, "a") + "," + kAll + R"j(,{"class": "folder", "noteId": 300, "name": "F"})j");
  const std::string before = testsupport::DumpDatabase(m_strPath);
  ASSERT_EQ(m_db.BeginTransaction(), LNNOERROR);
  LNDocument copy;
  ASSERT_EQ(m_db.CreateDocument(OpenDoc(4), &copy), LNNOERROR);
  LNViewFolder folder;
  ASSERT_EQ(m_db.GetViewFolder("F", &folder), LNNOERROR);
  ASSERT_EQ(folder.FolderAddDocument(copy), LNNOERROR);
  ASSERT_EQ(m_db.BeginTransaction(), LNNOERROR);  // nested level
  ASSERT_EQ(m_db.DeleteNote(4, UPDATE_NOSTUB), LNNOERROR);
  ASSERT_EQ(m_db.CommitTransaction(), LNNOERROR);
  ASSERT_EQ(m_db.RollbackTransaction(), LNNOERROR);
  EXPECT_EQ(testsupport::DumpDatabase(m_strPath), before);
  EXPECT_EQ(Entries("($All)"), (std::vector<NOTEID>{4}));
}

TEST_F(LnapiTest, MailAccessorsReadTheirItems) {
  Open(Doc(4, Text("Form", "Memo") + "," + Text("From", "Ada <ada@example.org>") + "," +
              Text("Subject", "Report") +
              R"j(,{"name": "SendTo", "type": "textlist", "value": ["b@x.org", "c@x.org"]})j"
              R"j(,{"name": "PostedDate", "type": "time", "value": "2010-03-05T14:07:09.25"})j") +
       "," + Doc(8, "") + "," + kAll);
  LNMailMessage mail;
  mail = OpenDoc(4);
  LNString sender;
  ASSERT_EQ(mail.GetSender(&sender), LNNOERROR);
  EXPECT_EQ(sender.Bytes(), "Ada <ada@example.org>");
  LNText to, subject;
  ASSERT_EQ(mail.GetRecipients(0, &to), LNNOERROR);
  LNString joined;
  to.GetText(&joined, ";");
  EXPECT_EQ(joined.Bytes(), "b@x.org;c@x.org");
  ASSERT_EQ(mail.GetSubject(&subject), LNNOERROR);
  EXPECT_EQ(subject[0].Bytes(), "Report");
  LNDatetime sent;
  ASSERT_EQ(mail.GetDateSent(&sent), LNNOERROR);
  LNINT h = 0, m = 0, s = 0, hh = 0;
  sent.GetTime(&h, &m, &s, &hh);
  EXPECT_EQ((std::vector<LNINT>{h, m, s, hh}), (std::vector<LNINT>{14, 7, 9, 25}));
  EXPECT_EQ(mail.GetFormNote().Bytes(), "Memo");
  EXPECT_TRUE(mail.HasItem("subject"));
  EXPECT_FALSE(mail.HasAttachments());

  LNMailMessage empty;
  empty = OpenDoc(8);
  EXPECT_EQ(empty.GetSender(&sender), LNERR_NOT_FOUND);
  EXPECT_TRUE(sender.IsNull());
  EXPECT_EQ(empty.GetDateSent(&sent), LNERR_NOT_FOUND);
  EXPECT_TRUE(sent.IsNull());
  EXPECT_EQ(empty.GetFormNote().Bytes(), "");
}

TEST_F(LnapiTest, ClosedNoteAnswersNothingAndReopensThroughACopy) {
  Open(Memo(4, "a") + "," + kAll);
  LNDocument doc = OpenDoc(4);
  LNMailMessage mail;
  mail = doc;
  doc.Close();  // the handles share the note
  EXPECT_FALSE(mail.IsOpen());
  EXPECT_FALSE(mail.HasItem("Subject"));
  LNText subject;
  EXPECT_EQ(mail.GetSubject(&subject), LNERR_NOT_OPEN);
  ASSERT_EQ(mail.Open(0), LNNOERROR);
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_EQ(mail.GetSubject(&subject), LNNOERROR);
}
