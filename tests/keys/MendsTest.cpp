// Mail that is not a duplicate must never be judged one: parts kept apart,
// empty keys never registered, mail and contacts never equal.
#include "tests/keys/KeysFixture.h"

using namespace keystest;

TEST_F(KeysTest, PartsAreKeptApart) {
  OpenDatabase(Note(100, Text("From", "ab") + "," + Text("Subject", "c")) + "," +
               Note(104, Text("From", "a") + "," + Text("Subject", "bc")) + "," +
               // A separator inside a text cannot forge a part boundary.
               Note(108, Text("From", "a\\u001f") + "," + Text("Subject", "b")) + "," +
               Note(112, Text("From", "a") + "," + Text("Subject", "\\u001fb")));
  m_s.m_bMailSender = m_s.m_bMailSubject = 1;
  EXPECT_NE(DigestKey(MailKey(100)), DigestKey(MailKey(104)));
  EXPECT_NE(DigestKey(MailKey(108)), DigestKey(MailKey(112)));
}

TEST_F(KeysTest, AttachmentNamesAreKeptApart) {
  const auto attachment = [](const std::string& name) {
    return R"({"name":"$FILE","type":"attachment","fileName":")" + name + R"(","size":1})";
  };
  OpenDatabase(Note(100, Text("Subject", "s") + "," + attachment("ab") + "," + attachment("c")) + "," +
               Note(104, Text("Subject", "s") + "," + attachment("a") + "," + attachment("bc")) + "," +
               Note(108, Text("Subject", "s") + "," + attachment("ab") + "," + attachment("c")));
  m_s.m_bMailAttachments = 1;
  EXPECT_NE(MailKey(100), MailKey(104));
  EXPECT_EQ(MailKey(100), MailKey(108));
}

TEST_F(KeysTest, MailWithOnlyEmptyPartsIsKeptAndNotRegistered) {
  OpenDatabase(Note(100, Text("Subject", "one")) + "," + Note(104, Text("Subject", "two")) + "," +
               Note(108, Text("Subject", "three") +
                             R"(,{"name":"$FILE","type":"attachment","fileName":"a.pdf","size":1})") +
               "," +
               Note(112, Text("Subject", "four") +
                             R"(,{"name":"$FILE","type":"attachment","fileName":"a.pdf","size":1})"));
  m_s.m_bMailAttachments = 1;  // the only criterion
  EXPECT_EQ(MailKey(100), u"");
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(100)));
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(104)));
  EXPECT_TRUE(m_s.m_mapDuplicateKeys.empty());
  // Mail that has the part is judged as before.
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(108)));
  EXPECT_FALSE(IsFirstOfItsKind(m_s, MailKey(112)));

  // A key is empty only when every ticked part is: one empty part among
  // others with content still counts as a key.
  m_s.m_bMailSubject = 1;
  EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + u"one" + US + US);
}

TEST_F(KeysTest, ContactWithOnlyEmptyPartsIsKeptAndNotRegistered) {
  OpenDatabase(Note(100, Text("Form", "Person") + "," + Text("CompanyName", "")) + "," +
               Note(104, Text("Form", "Person")));
  m_s.m_bContactCompany = m_s.m_bContactEmail = 1;
  EXPECT_EQ(ContactKey(100), u"");
  EXPECT_EQ(ContactKey(104), u"");
  EXPECT_TRUE(IsFirstOfItsKind(m_s, ContactKey(100)));
  EXPECT_TRUE(IsFirstOfItsKind(m_s, ContactKey(104)));
  EXPECT_TRUE(m_s.m_mapDuplicateKeys.empty());
}

TEST_F(KeysTest, MailNeverMatchesAContact) {
  OpenDatabase(Note(100, Text("Subject", "Ada")) + "," +
               Note(104, Text("Form", "Person") + "," + Text("FullNameInput", "Ada")));
  m_s.m_bMailSubject = 1;
  m_s.m_bContactFullName = 1;
  EXPECT_EQ(ClassifyDocument(Doc(100)), DocumentKind::mailItem);
  EXPECT_EQ(ClassifyDocument(Doc(104)), DocumentKind::contact);
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(100)));
  EXPECT_TRUE(IsFirstOfItsKind(m_s, ContactKey(104)));
  EXPECT_EQ(m_s.m_mapDuplicateKeys.size(), 2u);
}

TEST_F(KeysTest, SubjectsDifferingOnlyInNonAsciiCharactersAreDistinct) {
  OpenDatabase(Note(100, Text("Subject", "\u4E2D")) + "," + Note(104, Text("Subject", "\u5E2D")) + "," +
               Note(108, Text("Subject", "\u0141odz")) + "," + Note(112, Text("Subject", "Aodz")));
  m_s.m_bMailSubject = 1;
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(100)));
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(104)));
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(108)));
  EXPECT_TRUE(IsFirstOfItsKind(m_s, MailKey(112)));
}
