// A pass over every document of a few thousand stays fast: catches a store
// that loads per note in proportion to the database (a bound far above the
// real figure, so a busy machine does not fail it).
#include <chrono>

#include "tests/support/TestSupport.h"
#include "tools/nsftool/Sample.h"
#include "lnapi/LNNotes.h"

class ScaleTest : public testsupport::TempDirTest {};

TEST_F(ScaleTest, EveryDocumentOfTheAllViewOpensAndDeletesQuickly) {
  nsftool::SampleOptions options;
  options.nDocs = 3000;
  const auto counts = nsftool::MakeSample(m_tmp / "big.nsf", options);
  LNNotesSession session;
  session.Initialize();
  LNDatabase db;
  session.GetDatabase((m_tmp / "big.nsf").c_str(), &db);
  db.Open();
  const auto started = std::chrono::steady_clock::now();
  LNViewFolder all;
  ASSERT_EQ(db.GetViewFolder("($All)", &all), LNNOERROR);
  ASSERT_EQ(all.Open(0), LNNOERROR);
  ASSERT_EQ(static_cast<std::uint64_t>(all.GetEntryCount()), counts.nMemos + counts.nContacts);
  std::size_t withSubject = 0;
  ASSERT_EQ(db.BeginTransaction(), LNNOERROR);
  for (LNINT i = 0; i < all.GetEntryCount(); ++i) {
    LNDocument doc;
    all[i].GetDocument(&doc);
    ASSERT_EQ(doc.Open(0), LNNOERROR);
    LNMailMessage mail;
    mail = doc;
    LNText subject;
    if (mail.GetSubject(&subject) == LNNOERROR) ++withSubject;
    doc.Close();
    if (i % 10 == 0) db.DeleteNote(all[i].GetNoteID(), UPDATE_NOSTUB);
  }
  ASSERT_EQ(db.CommitTransaction(), LNNOERROR);
  all.Close();
  EXPECT_EQ(withSubject, counts.nMemos);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  ASSERT_EQ(all.Open(0), LNNOERROR);
  EXPECT_EQ(all.GetEntryCount(), static_cast<LNINT>((counts.nMemos + counts.nContacts) * 9 / 10));
}
