// Document kinds and the contact key.
#include "tests/keys/KeysFixture.h"

using namespace keystest;

TEST_F(KeysTest, KindIsDecidedBySubjectThenPersonForm) {
  OpenDatabase(Note(100, Text("Form", "Person") + "," + Text("Subject", "x")) + "," +
               Note(104, Text("Form", "Person")) + "," +  //
               Note(108, Text("Form", "person")) + "," +  //
               Note(112, Text("Form", "Person ")) + "," + //
               Note(116, Text("Form", "Memo")) + "," +    //
               Note(120, Text("Subject", "")));
  EXPECT_EQ(ClassifyDocument(Doc(100)), DocumentKind::mailItem);
  EXPECT_EQ(ClassifyDocument(Doc(104)), DocumentKind::contact);
  EXPECT_EQ(ClassifyDocument(Doc(108)), DocumentKind::other);
  EXPECT_EQ(ClassifyDocument(Doc(112)), DocumentKind::other);
  EXPECT_EQ(ClassifyDocument(Doc(116)), DocumentKind::other);
  EXPECT_EQ(ClassifyDocument(Doc(120)), DocumentKind::mailItem);  // an empty subject is still one
}

TEST_F(KeysTest, ContactPartsInTheirOrder) {
  OpenDatabase(Note(100, Text("Form", "Person") + "," + Text("CompanyName", "Example Ltd") + "," +
                             Text("primaryPhoneNumber", "+49 30 1234") + "," +
                             Text("MailAddress", "ada@example.org") + "," + Text("MiddleInitial", "B") +
                             "," + Text("LastName", "Lovelace") + "," + Text("FirstName", "Ada") + "," +
                             R"({"name":"FullNameInput","type":"textlist","value":["Ada Lovelace","A. Lovelace"]})"));
  m_s.m_bContactFullName = m_s.m_bContactFirstName = m_s.m_bContactLastName = 1;
  m_s.m_bContactMiddleName = m_s.m_bContactEmail = m_s.m_bContactPhone = m_s.m_bContactCompany = 1;
  const std::u16string expected = std::u16string(u"contact") + RS + u"Ada Lovelace;A. Lovelace" + US +
                                  u"Ada" + US + u"Lovelace" + US + u"B" + US + u"ada@example.org" + US +
                                  u"+49 30 1234" + US + u"Example Ltd" + US;
  EXPECT_EQ(ContactKey(100), expected);

  UntickAll();
  m_s.m_bContactEmail = 1;
  m_s.m_bContactCompany = 2;  // not exactly 1
  EXPECT_EQ(ContactKey(100), std::u16string(u"contact") + RS + u"ada@example.org" + US);
}

TEST_F(KeysTest, MissingContactItemLeavesItsPartEmpty) {
  OpenDatabase(Note(100, Text("Form", "Person") + "," + Text("LastName", "Lovelace")) + "," +
               Note(104, Text("Form", "Person") + "," + Text("FirstName", "Lovelace")));
  m_s.m_bContactFirstName = m_s.m_bContactLastName = 1;
  EXPECT_EQ(ContactKey(100), std::u16string(u"contact") + RS + US + u"Lovelace" + US);
  // The same text in another part is another key.
  EXPECT_NE(DigestKey(ContactKey(100)), DigestKey(ContactKey(104)));
}

TEST_F(KeysTest, ContactsAreNeverFilteredByDate) {
  OpenDatabase(Note(100, Text("Form", "Person") + "," + Text("LastName", "Lovelace"), "1990-01-01T00:00:00"));
  m_s.m_bContactLastName = 1;
  m_s.m_bDateFilter = 1;
  m_s.m_vecDateRanges.push_back({DateTimeValue(2020, 1, 1, 0, 0, 0), DateTimeValue(2020, 12, 31, 23, 59, 59)});
  EXPECT_EQ(ContactKey(100), std::u16string(u"contact") + RS + u"Lovelace" + US);
}

TEST_F(KeysTest, CharactersBeyondTheBasicPlaneAreKeptWhole) {
  // Contact parts are converted by character count; a character needing two
  // UTF-16 code units must not push the end of the text out.
  OpenDatabase(Note(100, Text("Form", "Person") + "," + Text("LastName", "\U0001F600\U0001F600ab")) + "," +
               Note(104, Text("Form", "Person") + "," + Text("LastName", "\U0001F600\U0001F600ac")));
  m_s.m_bContactLastName = 1;
  EXPECT_EQ(ContactKey(100), std::u16string(u"contact") + RS + u"\U0001F600\U0001F600ab" + US);
  EXPECT_NE(ContactKey(100), ContactKey(104));
}
