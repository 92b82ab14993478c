// Notes read ahead along a folder's entries are the notes as stored, and a
// change made after they were read ahead is what the next load sees.
#include <sstream>

#include "lnapi/store/Store.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/Sample.h"

namespace {

using lnapi::store::NoteClass;
using lnapi::store::NoteRow;
using lnapi::store::Store;
using lnapi::store::StoredItem;

std::string Describe(const std::optional<NoteRow>& row, const std::vector<StoredItem>& items) {
  std::ostringstream out;
  if (!row) return "none";
  out << row->dwId << ' ' << static_cast<int>(row->life) << ' ' << row->strCreated << ' ' << row->strModified;
  for (const StoredItem& item : items) out << '|' << item.strName << ':' << item.wType << ':' << item.value;
  return out.str();
}

class ReadAheadTest : public testsupport::TempDirTest {
protected:
  ReadAheadTest() {
    nsftool::SampleOptions options;
    options.nDocs = 400;
    nsftool::MakeSample(m_tmp / "sample.nsf", options);
    m_store = Store::Open((m_tmp / "sample.nsf").string());
    for (const NoteRow& row : m_store->ListNotes())
      if (row.cls == NoteClass::document) m_vecIds.push_back(row.dwId);
  }
  std::unique_ptr<Store> m_store;
  std::vector<NOTEID> m_vecIds;
};

TEST_F(ReadAheadTest, PlannedLoadsGiveWhatSingleLoadsGive) {
  std::vector<std::string> single;
  for (NOTEID id : m_vecIds) single.push_back(Describe(m_store->GetNote(id), m_store->GetItems(id)));
  // Every other note, as a folder holding half of them would list them.
  std::vector<NOTEID> plan;
  for (std::size_t i = 0; i < m_vecIds.size(); i += 2) plan.push_back(m_vecIds[i]);
  m_store->PlanReads(plan);
  std::vector<StoredItem> items;
  for (std::size_t i = 0; i < m_vecIds.size(); i += 2) {
    const auto row = m_store->LoadNote(m_vecIds[i], items);
    ASSERT_EQ(Describe(row, items), single[i]) << m_vecIds[i];
  }
}

TEST_F(ReadAheadTest, AChangeAfterTheReadAheadIsSeen) {
  m_store->PlanReads(m_vecIds);
  std::vector<StoredItem> items;
  ASSERT_TRUE(m_store->LoadNote(m_vecIds[0], items));
  m_store->ReplaceItems(m_vecIds[1], {StoredItem{"Subject", 1280, "changed"}});
  const auto row = m_store->LoadNote(m_vecIds[1], items);
  ASSERT_TRUE(row);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].value, "changed");
}

}  // namespace
