#include <gtest/gtest.h>

#include "engine/RunSettings.h"
#include "engine/SummaryRows.h"

namespace {

void TickAllMail(RunSettings& s) {
  s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = 1;
  s.m_bMailDateTime = s.m_bMailBody = s.m_bMailAttachments = 1;
}

TEST(SummaryRows, SingleFileWithDefaultsAndSavingFolder) {
  RunSettings s;
  s.m_strSingleFilePath = u"/mail/a.nsf";
  s.m_strNewNsfFolder = u"/clean";
  TickAllMail(s);
  s.m_bContactFullName = 1;
  const std::vector<std::u16string> expected = {
      u"Selection Summary of Process:",
      u"Selected Nsf File: /mail/a.nsf",
      u"Search Duplicate Items in same Folder,Exclude 'All' Folder.",
      u"Selection Criteria to remove duplicate mail items (except Contacts) on the basis of: "
      u"Sender Name/Address,Receiver Name/Address,Date and Time,Subject,Attachments,Body",
      u"Selection Criteria to remove duplicate Contact items on the basis of: FullName",
      u"Remove Duplicate items in new NSF File, Saving path is: /clean",
      u"Select Start Process button to continue the duplicate remover process "};
  EXPECT_EQ(SummaryRows(s), expected);
}

TEST(SummaryRows, MultipleFilesListCountThenPaths) {
  RunSettings s;
  s.m_bMultipleFiles = 1;
  s.m_vecFilePaths = {u"/a.nsf", u"/b.nsf", u"/c.nsf"};
  const auto rows = SummaryRows(s);
  ASSERT_GE(rows.size(), 5u);
  EXPECT_EQ(rows[1], u"Total Number of Selected NSF Files:  3");
  EXPECT_EQ(rows[2], u"/a.nsf");
  EXPECT_EQ(rows[4], u"/c.nsf");
}

TEST(SummaryRows, ScopeRowsForAllFourCombinations) {
  struct Case {
    int nSameFolder, nExcludeAll;
    std::u16string row;
  };
  for (const Case& c : std::vector<Case>{
           {0, 0, u"Search Duplicate Items across Nsf File"},
           {0, 1, u"Search Duplicate Items across Nsf File,Exclude 'All' Folder."},
           {1, 0, u"Search Duplicate Items in same Folder"}}) {
    RunSettings s;
    s.m_bSameFolderScope = c.nSameFolder;
    s.m_bExcludeAllFolder = c.nExcludeAll;
    const auto rows = SummaryRows(s);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[2], c.row);
  }
}

TEST(SummaryRows, TimeFormatAndDateRowsOnlyWhenSet) {
  RunSettings s;
  s.m_bTimeFormatHM = 1;
  s.m_bDateFilter = 1;
  const auto rows = SummaryRows(s);
  ASSERT_GE(rows.size(), 5u);
  EXPECT_EQ(rows[3], u"Time Format (H:M) is selected");
  EXPECT_EQ(rows[4], u"Remove Duplicate items in selected Date Range");
}

TEST(SummaryRows, OnlyMiddleNameLeavesNoTrailingComma) {
  RunSettings s;
  s.m_bContactMiddleName = 1;
  EXPECT_EQ(ContactCriteriaText(s), u"Middle Name");
  s.m_bMailBody = 1;
  s.m_bMailSender = 1;
  EXPECT_EQ(MailCriteriaText(s), u"Sender Name/Address,Body");
}

TEST(SummaryRows, GroupsSwitchedOffHaveNoRow) {
  RunSettings s;
  s.m_bMailCriteria = 0;
  s.m_bContactCriteria = 0;
  EXPECT_EQ(SummaryRows(s).size(), 5u);
}

TEST(SummaryRows, OriginalFileActions) {
  RunSettings s;
  s.m_bModifyOriginal = 1;
  s.m_strSubFolderName = u"Dups";
  const auto actionRow = [&](int action) {
    s.m_nAction = action;
    const auto rows = SummaryRows(s);
    if (rows.size() < 3) {
      ADD_FAILURE() << "only " << rows.size() << " rows";
      return std::u16string();
    }
    EXPECT_EQ(rows[rows.size() - 3], u"Remove Duplicate items in original NSF File(s)");
    return rows[rows.size() - 2];
  };
  EXPECT_EQ(actionRow(0), u"Action to remove Duplicate items:Delete Permanently");
  EXPECT_EQ(actionRow(1), u"Action to remove Duplicate items:Move to Trash");
  EXPECT_EQ(actionRow(2), u"Action to remove Duplicate items:Move to sub folder. Folder Name: Dups");
  EXPECT_EQ(actionRow(3), u"Action to remove Duplicate items:Copy to sub folder. Folder Name: Dups");
  EXPECT_EQ(actionRow(7), u"Action to remove Duplicate items:Copy to sub folder. Folder Name: Dups");
}

}  // namespace
