// vCard 2.1, 3.0 and 4.0 to Person documents, and back to vCard 3.0.
#include <gtest/gtest.h>

#include <random>

#include "tests/mailio/MailTestSupport.h"
#include "mail/VCard.h"

using namespace mailio;

namespace {

std::vector<CardResult> Cards(const std::string& bytes) {
  std::vector<CardResult> cards;
  ReadVCards(bytes, [&](CardResult&& c) { cards.push_back(std::move(c)); });
  return cards;
}

Doc OnlyCard(const std::string& file) {
  std::vector<CardResult> cards = Cards(testsupport::ReadFile(mailtest::DataDir() / file));
  EXPECT_EQ(cards.size(), 1u);
  if (cards.empty() || !cards[0].doc) return {};
  return *cards[0].doc;
}

}  // namespace

TEST(VCard, Version21QuotedPrintableCharsetsAndBareTypes) {
  Doc doc = OnlyCard("v21.vcf");
  EXPECT_EQ(doc.TextOf("Form"), "Person");
  EXPECT_EQ(doc.TextOf("FullName"), "Dr. Jürgen K. Müller");
  EXPECT_EQ(doc.TextOf("FullNameInput"), "Dr. Jürgen K. Müller");
  EXPECT_EQ(doc.TextOf("LastName"), "Müller");  // ISO-8859-1 under quoted-printable
  EXPECT_EQ(doc.TextOf("FirstName"), "Jürgen");
  EXPECT_EQ(doc.TextOf("MiddleInitial"), "K.");
  EXPECT_EQ(doc.TextOf("Title"), "Dr.");
  EXPECT_EQ(doc.TextOf("CompanyName"), "Example GmbH");
  EXPECT_EQ(doc.TextOf("Department"), "Research");
  EXPECT_EQ(doc.TextOf("MailAddress"), "juergen@example.de");  // none preferred: the first
  EXPECT_EQ(doc.ListOf("OtherMailAddresses"), (std::vector<std::string>{"jm@example.net"}));
  EXPECT_EQ(doc.TextOf("primaryPhoneNumber"), "+49 170 7654321");  // the preferred one
  EXPECT_EQ(doc.ListOf("OtherPhoneNumbers"), (std::vector<std::string>{"+49 30 1234567"}));
  const std::vector<std::string> lines = doc.ListOf(kVCardPropertiesItem);
  // The soft line break of quoted-printable joins the note; PHOTO is left out.
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "NOTE:First line\\nsecond line with a long text that is continued on the next line"),
            lines.end());
  for (const std::string& l : lines) EXPECT_NE(l.rfind("PHOTO", 0), 0u) << l;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "TEL;TYPE=cell,pref:+49 170 7654321"), lines.end());
}

TEST(VCard, Version30FoldedLinesEscapesAndPreferredEmail) {
  Doc doc = OnlyCard("v30.vcf");
  EXPECT_EQ(doc.TextOf("FullNameInput"), "Ada Example");
  EXPECT_EQ(doc.TextOf("MailAddress"), "ada@home.example");
  EXPECT_EQ(doc.ListOf("OtherMailAddresses"), (std::vector<std::string>{"ada@work.example"}));
  EXPECT_EQ(doc.TextOf("primaryPhoneNumber"), "+1 555 0100");
  const std::vector<std::string> lines = doc.ListOf(kVCardPropertiesItem);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "NOTE:A long note that is folded because it is much longer than seventy-five octets\\, "
                      "with an escaped comma"),
            lines.end());
}

TEST(VCard, Version40PrefParameterUriPhonesAndBrokenCards) {
  std::vector<CardResult> cards = Cards(testsupport::ReadFile(mailtest::DataDir() / "v40-and-broken.vcf"));
  ASSERT_EQ(cards.size(), 3u);
  ASSERT_TRUE(cards[0].doc) << cards[0].error;
  EXPECT_EQ(cards[0].doc->TextOf("MailAddress"), "bob@pref.example");
  EXPECT_EQ(cards[0].doc->TextOf("primaryPhoneNumber"), "+1-555-0199");
  EXPECT_EQ(cards[0].doc->TextOf("CompanyName"), "Builders Inc.");
  EXPECT_EQ(cards[1].number, 2u);
  EXPECT_FALSE(cards[1].doc);
  EXPECT_EQ(cards[1].error, "card has no name, e-mail address or phone number");
  EXPECT_EQ(cards[2].number, 3u);
  EXPECT_FALSE(cards[2].doc);
  EXPECT_EQ(cards[2].error, "card has no END:VCARD line");
}

TEST(VCard, NameFromNWhenFnIsMissingAndCardsWithoutVersion) {
  std::vector<CardResult> cards = Cards(
      "BEGIN:VCARD\nN:Lovelace;Ada;;;\nEND:VCARD\n"
      "begin:vcard\nEMAIL;INTERNET:only@example.org\nend:vcard\n"
      "BEGIN:VCARD\nBEGIN:VCARD\nFN:After a lost END\nEND:VCARD\n");
  ASSERT_EQ(cards.size(), 4u);
  EXPECT_EQ(cards[0].doc->TextOf("FullName"), "Ada Lovelace");
  EXPECT_EQ(cards[1].doc->TextOf("FullName"), "only@example.org");
  EXPECT_FALSE(cards[2].doc);
  ASSERT_TRUE(cards[3].doc);
  EXPECT_EQ(cards[3].doc->TextOf("FullName"), "After a lost END");
}

TEST(VCard, ByteOrderMarksOfUtf8AndUtf16Files) {
  const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zoë\r\nEND:VCARD\r\n";
  EXPECT_EQ(Cards("\xEF\xBB\xBF" + card).at(0).doc->TextOf("FullName"), "Zoë");
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"BEGIN:VCARD\r\nFN:Zoë\r\nEND:VCARD\r\n")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  std::vector<CardResult> cards = Cards(utf16);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].doc->TextOf("FullName"), "Zoë");
}

TEST(VCard, WrittenCardReadsBackAsTheSameDocument) {
  std::vector<std::string> inputs;
  for (const char* file : {"v21.vcf", "v30.vcf", "v40-and-broken.vcf"})
    inputs.push_back(testsupport::ReadFile(mailtest::DataDir() / file));
  // Quotes where vCard allows none, and a value that a fold would turn into
  // a line of its own reading "BEGIN:VCARD".
  inputs.push_back("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bob\r\nTEL;VALUE=uri;TYPEG\"voice,cell\":tel:+1-555-0199\r\nEND:VCARD\r\n");
  inputs.push_back("BEGIN:VCARD\r\nVERSION:3.0\r\nTEL;X\"A=B\"C:+1-555-0100\r\nEND:VCARD\r\n");
  inputs.push_back("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Al\r\nTEL;TYPE=\"a:b\",x\"y;LABEL=\"p;q\":1\r\nNOTE:" +
                   std::string(70, 'x') + "BEGIN:VCARD\r\nEND:VCARD\r\n");
  inputs.push_back("BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:A=0D=0AB;C\r\nEND:VCARD\r\n");
  inputs.push_back("BEGIN:VCARD\r\nVERSION:3.0\r\nN: Files for you;; ;\r\nEND:VCARD\r\n");
  // A lone carriage return inside a value, and no END line after it.
  inputs.push_back("BEGIN:VCARD\nTEL:TEL:5\rEND:VCARD");
  // A property whose name is not UTF-8, its value a soft line break.
  inputs.push_back("BEGIN:VCARD\nN:N\nQUOTED-PRIN\xFFTABLE:=\nEND:VCARD");
  inputs.push_back("BEGIN:VCARD\nN;B:\xD7\nEND:VCARD");
  // Blank name lines, and one whose only text is in a unit not kept.
  inputs.push_back("BEGIN:VCARD\nORG:\nN:r\nORG:\nEND:VCARD");
  inputs.push_back("BEGIN:VCARD\nORG:;;l\nN:x\nORG:\nEND:VCARD");
  inputs.push_back("BEGIN:VCARD\nN;CHARSET=UTF8:\xF6\xA9\xBA\xAD\nEND:VCARD");
  inputs.push_back("BEGIN:VCARD\nTEL;\"\t\":/\nEND:VCARD");
  inputs.push_back("BEGIN:VCARD\nEMAIL:mailto:\t;\nEND:VCARD");
  inputs.push_back(std::string("BEGIN:VCARD\rTEL;T=\"\0\t\":t\nEND:VCARD\r", 35));
  for (const std::string& input : inputs) {
    for (const CardResult& card : Cards(input)) {
      if (!card.doc) continue;
      const std::string written = WriteVCard(*card.doc);
      std::vector<CardResult> again = Cards(written);
      ASSERT_EQ(again.size(), 1u);
      ASSERT_TRUE(again[0].doc) << again[0].error << "\n" << written;
      EXPECT_EQ(again[0].doc->items, card.doc->items) << written;
    }
  }
}

TEST(VCard, WrittenLinesAreFoldedWithoutSplittingCharacters) {
  Doc doc;
  doc.items = {Item::MakeText("Form", "Person"), Item::MakeText("FullNameInput", std::string(40, 'x') + "üüüüüüüüüüüüüüüüüüü, Jr.")};
  const std::string card = WriteVCard(doc);
  std::size_t start = 0;
  while (start < card.size()) {
    const std::size_t end = card.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = card.substr(start, end - start);
    EXPECT_LE(line.size(), 75u);
    EXPECT_TRUE(IsValidUtf8(line)) << line;
    start = end + 2;
  }
  EXPECT_NE(card.find("\\, Jr."), std::string::npos);
  EXPECT_EQ(Cards(card).at(0).doc->TextOf("FullName"), doc.TextOf("FullNameInput"));
}

// Random damage to real cards never crashes the reader or makes it read
// outside its input; every card comes back as a document or an error.
TEST(VCard, DamagedInputIsReadSafely) {
  std::string seed;
  for (const char* file : {"v21.vcf", "v30.vcf", "v40-and-broken.vcf"})
    seed += testsupport::ReadFile(mailtest::DataDir() / file);
  std::mt19937 rng(20240607);
  const std::string specials = ":;=\\\r\n \",";
  for (int round = 0; round < 3000; ++round) {
    std::string input = seed;
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !input.empty(); ++e) {
      const std::size_t at = rng() % input.size();
      switch (rng() % 4) {
        case 0: input[at] = specials[rng() % specials.size()]; break;
        case 1: input.erase(at, 1 + rng() % 20); break;
        case 2: input.insert(at, 1, static_cast<char>(rng() % 256)); break;
        default: input.resize(at); break;
      }
    }
    ReadVCards(input, [](CardResult&& c) { EXPECT_TRUE(c.doc.has_value() != !c.error.empty()); });
  }
}
