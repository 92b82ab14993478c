// The journal file on its own, and a run whose journal fails.
#include "engine/journal/DatabaseRecords.h"
#include "tests/journal/JournalFixture.h"

using namespace journaltest;

namespace {

// Records until nRecords have been written, then fails; Sync fails when
// bSyncFails. Counts what it was asked.
class FailingSink : public JournalSink {
public:
  FailingSink(int nRecords, bool bSyncFails) : m_nLeft(nRecords), m_bSyncFails(bSyncFails) {}
  bool Record(LNDatabase&, const Disposal&) override { return m_nLeft-- > 0; }
  bool Sync() override { return !m_bSyncFails; }
  std::u16string TakeFailureRow() override {
    return std::exchange(m_strRow, u"");
  }

private:
  int m_nLeft;
  bool m_bSyncFails;
  std::u16string m_strRow = u"Journal file could not be written: /j";
};

constexpr std::uint64_t kHeaderSize = journal::kJournalHeader.size();

}  // namespace

TEST_F(JournalTest, TornTailIsCutAwayBeforeAppendingAndStrangersAreRefused) {
  const std::string path = (m_tmp / "j.journal").string();
  std::string error;
  {
    auto writer = journal::JournalWriter::Open(path, &error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->Append({"nsf", "/a.nsf", "one"}));
    ASSERT_TRUE(writer->Sync());
  }
  const std::string whole = testsupport::ReadFile(path);
  testsupport::WriteFile(path, whole + whole.substr(whole.size() - 9));  // a record cut short
  {
    auto writer = journal::JournalWriter::Open(path, &error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->Append({"mbox", "/b", std::string("t\0o", 3)}));
  }
  const auto contents = journal::ReadJournal(path, &error);
  ASSERT_TRUE(contents);
  ASSERT_EQ(contents->vecRecords.size(), 2u);
  EXPECT_EQ(contents->vecRecords[0].body, "one");
  EXPECT_EQ(contents->vecRecords[1].strKind, "mbox");
  EXPECT_EQ(contents->vecRecords[1].body, std::string("t\0o", 3));

  // Damage before whole records is no tail: appending keeps what follows it.
  std::string damaged = testsupport::ReadFile(path);
  damaged[kHeaderSize + 9] = static_cast<char>(damaged[kHeaderSize + 9] ^ 1);
  testsupport::WriteFile(path, damaged);
  {
    auto writer = journal::JournalWriter::Open(path, &error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->Append({"nsf", "/c.nsf", "three"}));
  }
  const auto after = journal::ReadJournal(path, &error);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->vecRecords.size(), 2u);
  EXPECT_EQ(after->vecRecords[1].body, "three");
  EXPECT_EQ(after->vecDamage, std::vector<std::uint64_t>{kHeaderSize});

  testsupport::WriteFile(m_tmp / "text.journal", "hello\n");
  EXPECT_FALSE(journal::JournalWriter::Open((m_tmp / "text.journal").string(), &error));
  EXPECT_FALSE(journal::ReadJournal((m_tmp / "text.journal").string(), &error));
  EXPECT_EQ(error, "it is not a Tarnwick journal");
  EXPECT_FALSE(journal::ReadJournal((m_tmp / "none.journal").string(), &error));
  EXPECT_EQ(error, "the file does not exist");
  EXPECT_FALSE(journal::DecodeDisposal("\x00\x04"));
}

TEST_F(JournalTest, DisposalThatCannotBeJournaledIsNotMadeAndStopsTheRun) {
  struct Case {
    const char* what;
    int nRecords;
    bool bSyncFails;
    std::size_t nGone;  // documents disposed of in the end
  };
  const Case cases[] = {{"the third record fails", 2, false, 2}, {"the batch's flush fails", 100, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path db = m_tmp / "fail.nsf";
    fs::remove(db);
    Db("fail.nsf", Mailbox(2, 6, true));
    const std::size_t nBefore = DocumentIds(Dump(db)).size();
    FailingSink sink(c.nRecords, c.bSyncFails);
    s.m_bRunning = 1;
    auto journal = Prepare(db, 0);
    m_options.pJournal = &sink;
    Go();
    EXPECT_EQ(nBefore - DocumentIds(Dump(db)).size(), c.nGone);
    EXPECT_EQ(s.m_bRunning.load(), 0);
    const auto rows = RunRows();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), u"Journal file could not be written: /j"), 1);
    s.m_logFile.Close();
    EXPECT_NE(runtest::ReadLog(logPath).find(u"Journal file could not be written: /j\r\n"), std::u16string::npos);
  }
}
