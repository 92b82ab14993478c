// The mail key: its parts, their order and their texts.
#include "tests/keys/KeysFixture.h"

using namespace keystest;

namespace {

const std::string kFullMail = Note(
    100,
    Text("Form", "Memo") + "," + Text("From", "Ada Example <ada@example.org>") + "," +
        R"({"name":"SendTo","type":"textlist","value":["bob@example.org","cy@example.org"]},)"
        R"({"name":"PostedDate","type":"time","value":"2010-03-05T14:07:09"},)"
        R"({"name":"Subject","type":"textlist","value":["Quarterly","report"]},)"
        R"({"name":"$FILE","type":"attachment","fileName":"report.pdf","size":3},)"
        R"({"name":"$FILE","type":"attachment","fileName":"notes.txt","size":3},)"
        R"({"name":"Body","type":"text","value":"See attached."})");

class MailKeyTest : public KeysTest {
protected:
  void SetUp() override { OpenDatabase(kFullMail); }
};

}  // namespace

TEST_F(MailKeyTest, EveryPartInItsOrder) {
  m_s.m_bMailSender = m_s.m_bMailReceiver = m_s.m_bMailDateTime = 1;
  m_s.m_bMailSubject = m_s.m_bMailAttachments = m_s.m_bMailBody = 1;
  const std::u16string expected = std::u16string(u"mail") + RS +                  //
                                  u"Ada Example <ada@example.org>" + US +         // sender
                                  u"bob@example.org;cy@example.org" + US +        // recipients
                                  u"5/3/2010::14:7:9" + US +                      // date and time
                                  u"Quarterly;report" + US +                      // subject
                                  u"report.pdf" + RS + u"notes.txt" + RS + US +   // attachments
                                  u"See attached." + US;                          // body
  EXPECT_EQ(MailKey(100), expected);
}

TEST_F(MailKeyTest, EachPartAlone) {
  const std::pair<std::uint8_t RunSettings::*, std::u16string> parts[] = {
      {&RunSettings::m_bMailSender, u"Ada Example <ada@example.org>"},
      {&RunSettings::m_bMailReceiver, u"bob@example.org;cy@example.org"},
      {&RunSettings::m_bMailDateTime, u"5/3/2010::14:7:9"},
      {&RunSettings::m_bMailSubject, u"Quarterly;report"},
      {&RunSettings::m_bMailAttachments, std::u16string(u"report.pdf") + RS + u"notes.txt" + RS},
      {&RunSettings::m_bMailBody, u"See attached."},
  };
  for (const auto& [member, text] : parts) {
    UntickAll();
    m_s.*member = 1;
    EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + text + US);
  }
}

TEST_F(MailKeyTest, CriterionCountsOnlyWhenExactlyOne) {
  m_s.m_bMailSubject = 1;
  m_s.m_bMailSender = 2;
  m_s.m_bMailBody = 0xFF;
  EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + u"Quarterly;report" + US);
}

TEST_F(MailKeyTest, HoursAndMinutesModeLeavesOutTheSeconds) {
  m_s.m_bMailDateTime = 1;
  m_s.m_bTimeFormatHM = 1;
  EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + u"5/3/2010::14:7" + US);
  m_s.m_bTimeFormatHM = 2;  // not exactly 1: seconds stay
  EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + u"5/3/2010::14:7:9" + US);
}

TEST(MailDateTimeText, NoLeadingZeros) {
  const MailDate d{2, 1, 2011, 9, 5, 0};
  EXPECT_EQ(MailDateTimeText(d, false), u"1/2/2011::9:5:0");
  EXPECT_EQ(MailDateTimeText(d, true), u"1/2/2011::9:5");
}

TEST_F(KeysTest, CreationTimeStandsInForAMissingDateSent) {
  OpenDatabase(Note(100, Text("Subject", "no date"), "2011-02-01T09:05:00") + "," +
               Note(104, Text("Subject", "dated") + R"(,{"name":"PostedDate","type":"time","value":"2012-12-24T18:30:01"})",
                    "2011-02-01T09:05:00"));
  m_s.m_bMailDateTime = 1;
  EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + u"1/2/2011::9:5:0" + US);
  EXPECT_EQ(MailKey(104), std::u16string(u"mail") + RS + u"24/12/2012::18:30:1" + US);
  const MailDate created = MailDate::Read(Doc(100));
  EXPECT_EQ(created.nYear, 2011);
  EXPECT_EQ(created.nMonth, 2);
  EXPECT_EQ(created.nDay, 1);
}

TEST_F(KeysTest, PartsAreNeitherTrimmedNorCaseFolded) {
  OpenDatabase(Note(100, Text("Subject", "Hello")) + "," + Note(104, Text("Subject", "hello")) + "," +
               Note(108, Text("Subject", " Hello ")));
  m_s.m_bMailSubject = 1;
  const std::u16string a = MailKey(100), b = MailKey(104), c = MailKey(108);
  EXPECT_NE(DigestKey(a), DigestKey(b));
  EXPECT_NE(DigestKey(a), DigestKey(c));
  EXPECT_EQ(c, std::u16string(u"mail") + RS + u" Hello " + US);
}

TEST_F(KeysTest, RichTextBodyIsItsHtml) {
  OpenDatabase(Note(100, Text("Subject", "s") + R"(,{"name":"Body","type":"richtext","value":[{"par":["Hi ",{"text":"there","bold":true}]}]})") +
               "," + Note(104, Text("Subject", "s") + R"(,{"name":"Body","type":"richtext","value":[{"par":["Hi ",{"text":"there","bold":true}]}]})") +
               "," + Note(108, Text("Subject", "s") + R"(,{"name":"Body","type":"richtext","value":[{"par":["Hi there"]}]})"));
  m_s.m_bMailBody = 1;
  const std::u16string key = MailKey(100);
  EXPECT_NE(key.find(u"<b>there</b>"), std::u16string::npos);
  EXPECT_EQ(key, MailKey(104));
  EXPECT_NE(key, MailKey(108));
}
