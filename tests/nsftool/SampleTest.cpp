// nsftool sample: the generated mail database has what the demonstrations
// and benchmarks count on, the same for the same seed.
#include <map>

#include <nlohmann/json.hpp>

#include "tests/support/NsfJson.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/Base64.h"
#include "tools/nsftool/NsfJson.h"
#include "tools/nsftool/Sample.h"

namespace {
using json = nlohmann::json;
}

class SampleTest : public testsupport::TempDirTest {};

TEST_F(SampleTest, MailDatabaseHasViewsFoldersAndTheCountedDuplicates) {
  nsftool::SampleOptions options;
  options.nDocs = 300;
  options.nSeed = 5;
  options.nFolders = 3;
  options.nDupPercent = 20;
  const auto counts = nsftool::MakeSample(m_tmp / "s.nsf", options);
  EXPECT_EQ(counts.nMemos, 300u);
  EXPECT_EQ(counts.nContacts, 15u);
  EXPECT_EQ(counts.nFolders, 4u);
  const json dump = json::parse(testsupport::DumpDatabase(m_tmp / "s.nsf"));

  std::map<std::string, json> design;
  std::map<std::string, int> forms;
  std::map<std::string, int> seen;  // items of each document, to find exact repeats
  std::uint64_t repeats = 0, pictures = 0, attachments = 0;
  for (const auto& note : dump["notes"]) {
    if (note["class"] != "document") {
      design[note["name"]] = note;
      continue;
    }
    const json& items = note["items"];
    if (seen[items.dump()]++ > 0) ++repeats;
    for (const auto& item : items) {
      if (item["name"] == "Form") ++forms[item["value"]];
      if (item["type"] == "attachment") ++attachments;
      if (item["type"] == "richtext")
        for (const auto& record : item["value"]) {
          if (!record.contains("picture")) continue;
          ++pictures;
          // A whole 1x1 GIF with a two-colour table: 35 bytes ending in the trailer.
          const auto gif = nsftool::DecodeBase64(record["picture"].get<std::string>());
          ASSERT_TRUE(gif && gif->size() == 35 && gif->back() == ';') << record["picture"];
        }
    }
  }
  EXPECT_EQ(forms["Memo"], 300);
  EXPECT_EQ(forms["Person"], 15);
  EXPECT_EQ(repeats, counts.nDuplicates);
  EXPECT_GT(repeats, 30u);
  EXPECT_LT(repeats, 100u);
  EXPECT_EQ(pictures, counts.nPictures);
  EXPECT_EQ(attachments, counts.nAttachments);
  EXPECT_GT(pictures, 40u);
  for (const char* name : {"($Inbox)", "Projects", "Projects\\2019", "Projects\\2020", "($Sent)", "($Drafts)",
                           "($All)", "My Contacts", "($People)", "($SoftDeletions)"})
    EXPECT_TRUE(design.count(name)) << name;
  EXPECT_EQ(design["($Inbox)"]["class"], "folder");
  EXPECT_GT(design["($Inbox)"]["entries"].size(), 100u);
  EXPECT_EQ(design["My Contacts"]["select"], json::parse(R"({"form": ["Person"]})"));

  // The same seed gives the same database.
  nsftool::MakeSample(m_tmp / "again.nsf", options);
  // (EXPECT_TRUE: a failing EXPECT_EQ would diff two large texts for ages.)
  EXPECT_TRUE(testsupport::DumpDatabase(m_tmp / "again.nsf") == testsupport::DumpDatabase(m_tmp / "s.nsf"));
  EXPECT_THROW(nsftool::MakeSample(m_tmp / "s.nsf", options), nsftool::TargetExists);
}
