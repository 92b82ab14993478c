// One message to one Memo document, and the mbox framing around it.
#include <gtest/gtest.h>

#include "tests/mailio/MailTestSupport.h"
#include "mail/GifConvert.h"
#include "mail/Mbox.h"
#include "mail/MimeExport.h"
#include "mail/MimeImport.h"

using namespace mailio;
using mailtest::MailTest;

namespace {

std::vector<std::string> SampleMessages() {
  std::vector<std::string> messages;
  SplitMbox(testsupport::ReadFile(mailtest::DataDir() / "sample.mbox"),
            [&](MboxMessage&& m) { messages.push_back(std::move(m.bytes)); });
  return messages;
}

Doc Import(const std::string& bytes) {
  MessageResult r = ImportMessage(bytes);
  EXPECT_TRUE(r.doc) << r.error;
  return r.doc.value_or(Doc{});
}

std::vector<std::string> Paragraphs(const Item* body) {
  std::vector<std::string> out;
  if (!body) return out;
  for (const RichRecord& r : body->rich)
    if (r.kind == RichRecord::Kind::Paragraph) out.push_back(r.text);
  return out;
}

}  // namespace

TEST_F(MailTest, PlainMessageGivesTheMemoItems) {
  Doc doc = Import(SampleMessages().at(0));
  EXPECT_EQ(doc.TextOf("Form"), "Memo");
  EXPECT_EQ(doc.TextOf("Subject"), "Quartalsbericht für März");
  EXPECT_EQ(doc.TextOf("From"), "Ada Example <ada@example.org>");
  EXPECT_EQ(doc.ListOf("SendTo"), (std::vector<std::string>{"Bob <bob@example.org>", "cy@example.org"}));
  EXPECT_EQ(doc.ListOf("CopyTo"), (std::vector<std::string>{"\"Doe, Jane\" <jane@example.org>"}));
  EXPECT_EQ(doc.TextOf("$MessageID"), "<report-1@example.org>");
  ASSERT_TRUE(doc.Find("PostedDate"));
  EXPECT_EQ(doc.Find("PostedDate")->time, (LocalTime{2010, 3, 5, 14, 7, 9}));
  EXPECT_EQ(doc.Find("DeliveredDate")->time, (LocalTime{2010, 3, 5, 14, 7, 30}));
  EXPECT_EQ(doc.created, (LocalTime{2010, 3, 5, 14, 7, 9}));
  // The message itself is kept whole, as received, in a MIME-part item.
  ASSERT_TRUE(doc.Find(kOriginalMessageItem));
  EXPECT_EQ(doc.Find(kOriginalMessageItem)->rawType, kTypeMimePart);
  EXPECT_EQ(doc.Find(kOriginalMessageItem)->bytes, SampleMessages().at(0));
  // mboxrd: one ">" comes off every quoted From line.
  EXPECT_EQ(Paragraphs(doc.Find("Body")),
            (std::vector<std::string>{"Hello Bob,", "", ">From the figures below you can see the trend.",
                                      "From here on it only grows.", "", "Ada"}));
  EXPECT_FALSE(doc.Find(kAttachmentItem));
}

TEST_F(MailTest, DateIsConvertedToLocalTime) {
  Doc doc = Import("From: a@example.org\nSubject: s\nDate: Tue, 1 Feb 2011 08:05:00 +0000\n\nx\n");
  EXPECT_EQ(doc.Find("PostedDate")->time, (LocalTime{2011, 2, 1, 9, 5, 0}));  // Berlin in winter
}

TEST_F(MailTest, MissingOrUnreadableDateLeavesPostedDateOut) {
  Doc undated = Import(SampleMessages().at(4));
  EXPECT_EQ(undated.TextOf("Subject"), "undated");
  EXPECT_FALSE(undated.Find("PostedDate"));
  EXPECT_FALSE(undated.created);

  Doc bad = Import(testsupport::ReadFile(mailtest::DataDir() / "single.eml"));
  EXPECT_EQ(bad.TextOf("Subject"), "only subject");
  EXPECT_FALSE(bad.Find("PostedDate"));
  EXPECT_EQ(Paragraphs(bad.Find("Body")), (std::vector<std::string>{"Body line one", "line two"}));
}

TEST_F(MailTest, HtmlOnlyMessageGetsHtmlBodyAndItsCidImageAsGifPicture) {
  Doc doc = Import(SampleMessages().at(1));
  std::vector<const Item*> bodies = doc.FindAll("Body");
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0]->kind, ItemKind::Html);
  EXPECT_NE(bodies[0]->text.find("<p>Spring is here</p>"), std::string::npos);
  ASSERT_EQ(bodies[1]->kind, ItemKind::RichText);
  ASSERT_EQ(bodies[1]->rich.size(), 1u);
  const RichRecord& picture = bodies[1]->rich[0];
  EXPECT_EQ(picture.kind, RichRecord::Kind::Picture);
  EXPECT_EQ(picture.gif.substr(0, 4), "GIF8");
  EXPECT_EQ(picture.width, 1);
  EXPECT_EQ(picture.height, 1);
  // The image is inline, not an attachment.
  EXPECT_FALSE(doc.Find(kAttachmentItem));
}

TEST_F(MailTest, AttachmentsKeepNamesAndBytes) {
  Doc doc = Import(SampleMessages().at(2));
  EXPECT_EQ(doc.TextOf("From"), "Cy Café <cy@example.org>");  // 8-bit Latin-1 header
  EXPECT_EQ(Paragraphs(doc.Find("Body")), (std::vector<std::string>{"Grüße, see the attached files."}));
  std::vector<const Item*> files = doc.FindAll(kAttachmentItem);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0]->fileName, "report.pdf");
  EXPECT_EQ(files[0]->bytes, "%PDF-1.4\n%\xC7\xEC");
  EXPECT_EQ(files[1]->fileName, "notes ü.bin");  // RFC 2231 name
  EXPECT_EQ(files[1]->bytes.substr(0, 3), std::string("\x00\x01\x02", 3));  // bad base64 read leniently
}

TEST_F(MailTest, TextThatIsNoMessageIsRefusedWithAReason) {
  MessageResult none = ImportMessage(SampleMessages().at(0).substr(0, 0));
  EXPECT_FALSE(none.doc);
  EXPECT_EQ(none.error, "empty message");
  // The fourth mbox entry is plain text: the splitter keeps it a message, the
  // parser refuses it.
  MessageResult text = ImportMessage("this is not a mail message at all\n");
  EXPECT_FALSE(text.doc);
  EXPECT_EQ(text.error, "does not start with header lines");
}

TEST_F(MailTest, DamagedButReadableHeadersAreImported) {
  // A MIME entity without From or Subject, as some archives hold.
  Doc entity = Import("Content-Type: text/plain; charset=us-ascii\nX-Thing: 1\n\nbody\n");
  EXPECT_EQ(entity.TextOf("Subject"), "");
  EXPECT_EQ(Paragraphs(entity.Find("Body")), std::vector<std::string>{"body"});
  // Blank space before the first field, and before a field's colon.
  Doc indented = Import(" From: a@example.org\nSubject: indented\n\nx\n");
  EXPECT_EQ(indented.TextOf("Subject"), "indented");
  Doc spaced = Import("X-Odd-Header : v\nFrom: a@example.org\nSubject : s\n\nbody\n");
  EXPECT_EQ(spaced.TextOf("From"), "a@example.org");
}

TEST_F(MailTest, MessageWithoutSubjectStillHasASubjectItem) {
  Doc doc = Import("From: a@example.org\nTo: b@example.org\n\nhi\n");
  ASSERT_TRUE(doc.Find("Subject"));  // what makes the engine treat it as mail
  EXPECT_EQ(doc.TextOf("Subject"), "");
}

TEST(MailText, LinesBecomeParagraphsAndBack) {
  EXPECT_TRUE(TextToParagraphs("").empty());
  auto p = TextToParagraphs("a\r\n\r\nb\rc\n");
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[1].text, "");
  EXPECT_EQ(p[3].text, "c");
  EXPECT_EQ(ParagraphsToText(p), "a\n\nb\nc\n");
  EXPECT_EQ(ParagraphsToText(TextToParagraphs("no final line end")), "no final line end\n");
}

TEST(MailText, LenientUtf8ReadsWindows1252) {
  EXPECT_TRUE(IsValidUtf8("Grüße"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // overlong
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));  // cut short
  EXPECT_EQ(ToUtf8Lenient("Caf\xE9 \x80"), "Café €");
}

TEST(Mbox, QuotedFromLinesComeBackUnchanged) {
  const std::string message = "Subject: x\n\nFrom a line\n>From quoted\n>>From twice\nFromage\n";
  std::string mbox;
  mbox += FromLine("a@example.org", {2010, 3, 5, 14, 7, 9}) + "\n" + QuoteFromLines(message) + "\n";
  mbox += FromLine("b@example.org", {2010, 3, 6, 1, 2, 3}) + "\n" + QuoteFromLines("Subject: y\n\nz\n\n") + "\n";
  std::vector<std::string> got;
  SplitMbox(mbox, [&](MboxMessage&& m) {
    EXPECT_EQ(m.number, got.size() + 1);
    got.push_back(m.bytes);
  });
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], message);
  EXPECT_EQ(got[1], "Subject: y\n\nz\n\n");  // a blank line of its own survives
}

// A "From " line begins a message only as the first line or after an empty
// line; anywhere else it is body, however much the next line looks like a
// header. The file reader and the memory reader split alike.
TEST_F(MailTest, AFromLineBeginsAMessageOnlyFirstOrAfterAnEmptyLine) {
  const std::string from = "From a Fri Mar  5 14:07:09 2010\n";
  struct Case {
    const char* name;
    std::string mbox;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"body line before a header-like line",
       from + "Subject: a\n\nDear team,\nFrom Monday on\nSubject: closed\n\n" + from + "Subject: b\n\nx\n",
       {"Subject: a\n\nDear team,\nFrom Monday on\nSubject: closed\n", "Subject: b\n\nx\n"}},
      {"right below the From_ line", from + "From someone\nSubject: a\n\nx\n", {"From someone\nSubject: a\n\nx\n"}},
      {"after an empty line", from + "Subject: a\n\nx\n\n" + from + "Subject: b\n", {"Subject: a\n\nx\n", "Subject: b\n"}},
      {"after an empty line ending in CR", "From a\r\nSubject: a\r\n\r\nx\r\n\r\nFrom b\r\nSubject: b\r\n",
       {"Subject: a\r\n\r\nx\r\n", "Subject: b\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> split, read;
    SplitMbox(c.mbox, [&](MboxMessage&& m) { split.push_back(std::move(m.bytes)); });
    EXPECT_EQ(split, c.messages);
    testsupport::WriteFile(m_tmp / "m.mbox", c.mbox);
    std::string error;
    ASSERT_TRUE(ReadMbox(m_tmp / "m.mbox", [&](MboxMessage&& m) { read.push_back(std::move(m.bytes)); }, &error));
    EXPECT_EQ(read, c.messages);
  }
}

TEST(Mbox, FromLineHasTheAsctimeForm) {
  EXPECT_EQ(FromLine("a@example.org", {2010, 3, 5, 14, 7, 9}), "From a@example.org Fri Mar  5 14:07:09 2010");
  EXPECT_TRUE(LooksLikeMbox("\nFrom x Fri Mar  5 14:07:09 2010\n"));
  EXPECT_EQ(FromLineTime("From a@example.org Fri Mar  5 14:07:09 2010"), (LocalTime{2010, 3, 5, 14, 7, 9}));
  EXPECT_FALSE(FromLineTime("From a@example.org"));
  EXPECT_FALSE(LooksLikeMbox("From: x@example.org\n"));
}

TEST(Gif, ConvertsPngAndRefusesWhatIsNoImage) {
  EXPECT_FALSE(ConvertToGif("not an image"));
  EXPECT_FALSE(ConvertToGif(std::string("\x89PNG\r\n\x1a\n", 8)));
  // A PNG header claiming 100000 x 100000 pixels is refused before decoding.
  std::string huge("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x06\0\0\0", 29);
  EXPECT_FALSE(ConvertToGif(huge));
}

TEST_F(MailTest, ExportGivesBackTheImportedMessageByteForByte) {
  std::vector<std::string> originals = SampleMessages();
  // A blank before a colon once made the export unreadable to the import.
  originals.push_back("Content-Type: text/plain\nX-Odd-Header : v\nFrom: a@example.org\n\nbody\n");
  for (const std::string& original : originals) {
    MessageResult first = ImportMessage(original);
    if (!first.doc) continue;
    EXPECT_EQ(ExportMessage(*first.doc), original);
    EXPECT_TRUE(ImportMessage(ExportMessage(*first.doc)).doc);
  }
}

TEST_F(MailTest, EmptyMessageComesBackEmptyFromAnMbox) {
  MboxWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(m_tmp / "e.mbox", &error));
  writer.AppendWithFromLine("From a@example.org Fri Mar  5 14:07:09 2010", "");
  writer.AppendWithFromLine("From b@example.org Fri Mar  5 14:07:09 2010", "Subject: s\n\nbody\n");
  ASSERT_TRUE(writer.Close(&error));
  std::vector<std::string> got;
  SplitMbox(testsupport::ReadFile(m_tmp / "e.mbox"), [&](MboxMessage&& m) { got.push_back(m.bytes); });
  EXPECT_EQ(got, (std::vector<std::string>{"", "Subject: s\n\nbody\n"}));
}

TEST_F(MailTest, HtmlMessageWithoutFinalLineEndSurvivesAnMbox) {
  Doc first = Import("From: a@example.org\nSubject: h\nContent-Type: text/html\n\n<p>no line end</p>");
  std::string mbox = FromLine("a@example.org", {2010, 1, 1, 0, 0, 0}) + "\n" + QuoteFromLines(ExportMessage(first));
  mbox += mbox.back() == '\n' ? "\n" : "\n\n";
  std::vector<std::string> messages;
  SplitMbox(mbox, [&](MboxMessage&& m) { messages.push_back(std::move(m.bytes)); });
  ASSERT_EQ(messages.size(), 1u);
  Doc second = Import(messages[0]);
  EXPECT_EQ(second.Find("Body")->text, first.Find("Body")->text);
}

TEST_F(MailTest, DocumentWithoutKeptHeadersGetsHeadersFromItems) {
  Doc doc;
  doc.items = {Item::MakeText("Form", "Memo"), Item::MakeText("Subject", "Grüße"),
               Item::MakeText("From", "Ada <ada@example.org>"),
               Item::MakeTextList("SendTo", {"bob@example.org", "Cy <cy@example.org>"}),
               Item::MakeTime("PostedDate", {2012, 7, 1, 12, 0, 0}),
               Item::MakeRich("Body", TextToParagraphs("hello\n"))};
  Doc back = Import(ExportMessage(doc));
  EXPECT_EQ(back.TextOf("Subject"), "Grüße");
  EXPECT_EQ(back.TextOf("From"), "Ada <ada@example.org>");
  EXPECT_EQ(back.ListOf("SendTo"), (std::vector<std::string>{"bob@example.org", "Cy <cy@example.org>"}));
  EXPECT_EQ(back.Find("PostedDate")->time, (LocalTime{2012, 7, 1, 12, 0, 0}));
  EXPECT_EQ(EnvelopeSender(doc), "ada@example.org");
}

// The body scan stands in for GMime's tree of the message: on real mail and
// on bodies formed every which way, both give the same items.
TEST_F(MailTest, BodyScanGivesTheItemsOfTheWholeParse) {
  const std::string head = "From: a@example.org\nSubject: s\nMIME-Version: 1.0\n";
  auto multipart = [&](const std::string& type, const std::string& body) {
    return head + "Content-Type: multipart/" + type + "; boundary=\"b1\"\n\n" + body;
  };
  const std::string text = "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n";
  std::vector<std::string> messages = {
      head + "\nplain body\n",
      head + "Content-Type: text/html\nContent-Transfer-Encoding: base64\n\nPGI+aGk8L2I+\n",
      multipart("mixed", "pre\n--b1\n" + text + "caf=E9\n--b1\nContent-Type: application/pdf; name=\"a.pdf\"\n"
                         "Content-Disposition: attachment;\n filename=\"=?utf-8?q?r=C3=A9sum=C3=A9.pdf?=\"\n"
                         "Content-Transfer-Encoding: base64\n\nJVBERi0=\n--b1--\nepilogue\n"),
      multipart("mixed", "--b1\n" + text + "no end boundary\n"),  // cut short
      multipart("mixed", "--b1\n\nno headers at all\n--b1\n\n--b1--\n"),
      multipart("alternative", "--b1  \nContent-Type: text/plain\n\none\n--b1--  \n"),  // blanks after boundaries
      multipart("mixed", "--b1\nContent-Type: multipart/related; boundary=\"b1x\"\n\n--b1x\nContent-Type: text/html\n\n"
                         "<img src=cid:p1>\n--b1x\nContent-Type: image/png\nContent-ID: <p1>\n\nxx\n--b1x--\n--b1--\n"),
      multipart("mixed", "--b1\nContent-Type: multipart/alternative; boundary=\"b2\"\n\n--b2\n\nleft open\n--b1--\n"),
      multipart("mixed", "--b1\r\nContent-Type: text/plain\r\n\r\ncrlf\r\n--b1--\r\n"),
      multipart("mixed", "--b1\nContent-Type: message/rfc822\n\nSubject: inner\n\nx\n--b1--\n"),
      multipart("mixed", "--b1\nContent-Type: text/plain\nContent-Type: text/html\n\ntwo types\n--b1--\n"),
      multipart("mixed", "--b1\nContent-Type: text\n\nno subtype\n--b1\nBroken header line\n\nx\n--b1--\n"),
      multipart("digest", "--b1\n\nSubject: in a digest\n\nx\n--b1--\n"),
      multipart("mixed", "--b1\nTo: part@example.org\nSubject: of a part\n\nx\n--b1--\n"),  // not the message's
      // Fields given twice, folded, encoded, unreadable.
      "Subject: first\nSubject: =?utf-8?q?second_=C3=A9?=\nFrom: a@example.org\nFrom: \"B, b\" <b@example.org>\n"
      "To: x@example.org,\n y@example.org\nTo: undisclosed-recipients:;\nCc: c@example.org\nBcc: d@example.org\n"
      "Date: Mon, 1 Mar 2021 10:00:00 +0100\nDate: not a date\nMessage-ID: <one@x>\nMessage-ID: <two@x>\n"
      "Delivery-Date: nonsense\nReceived: from a by b; Tue, 2 Mar 2021 11:00:00 +0000\n"
      "Received: from c by d; Wed, 3 Mar 2021 12:00:00 +0000\n\nbody\n",
      "Date: Mon, 1 Mar 2021 10:00:00 +0100\nDate: Tue, 2 Mar 2021 10:00:00 +0100\nReceived: no stamp\n"
      "Subject: =?iso-8859-1?q?caf=E9?=\n\nbody\n",
      // Address fields GMime's message reads only in part (found by fuzzing).
      "cc:x;,(\n\n",
      "From: a@example.org\nFrom: x;,(\nFrom: b@example.org\n\nbody\n",
  };
  for (const char* package : {"libpython3.11-testsuite", "golang-github-jhillyerd-enmime-dev"})
    if (auto dir = mailtest::DebianPackageFiles(package))
      for (const auto& e : std::filesystem::recursive_directory_iterator(*dir))
        if (e.path().extension() == ".txt" || e.path().extension() == ".raw")
          if (e.path().string().find("test_email/data") != std::string::npos ||
              e.path().string().find("enmime/testdata") != std::string::npos)
            messages.push_back(testsupport::ReadFile(e.path()));
  ImportOptions whole;
  whole.bScanBody = false;
  for (const std::string& m : messages) {
    const MessageResult scanned = ImportMessage(m), parsed = ImportMessage(m, whole);
    ASSERT_EQ(scanned.doc.has_value(), parsed.doc.has_value()) << m.substr(0, 300);
    if (scanned.doc) {
      EXPECT_EQ(scanned.doc->items, parsed.doc->items) << m.substr(0, 300);
    }
  }
}
