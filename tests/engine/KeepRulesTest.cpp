// Which copy of a group stays: the rules, their chains, the size guard, and
// a scope judged whole (groups formed the same way whatever the order).
#include <algorithm>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "engine/DuplicateKeys.h"
#include "engine/keep/KeepRules.h"
#include "engine/keep/ScopeJudgement.h"

namespace {

using K = KeepRule::Kind;

TEST(KeepRules, ParsesChainsAndRefusesBadRules) {
  struct Case {
    std::u16string text;
    std::optional<std::u16string> chain;  // nullopt: refused
  };
  const Case cases[] = {
      {u"first", u"first"},
      {u"newest", u"newest,first"},
      {u"largest,oldest", u"largest,oldest,first"},
      {u"folder=Projects\\2019,smallest", u"folder=Projects\\2019,smallest,first"},
      {u"not-folder=($Inbox)", u"not-folder=($Inbox),first"},
      {u"first,newest", u"first"},  // nothing after first can decide
      {u"", std::nullopt},
      {u"latest", std::nullopt},
      {u"Newest", std::nullopt},
      {u"folder=", std::nullopt},
      {u"newest,", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto rules = ParseKeepRules(c.text);
    ASSERT_EQ(rules.has_value(), c.chain.has_value()) << std::string(c.text.begin(), c.text.end());
    if (rules) {
      EXPECT_EQ(KeepChainText(*rules), *c.chain);
    }
  }
}

TEST(KeepRules, FirstRuleThatTellsMembersApartDecidesAndTiesGoOn) {
  // Members in run order: date, size, and whether filed in "Keep".
  struct Member {
    std::int64_t date;
    bool bDated;
    std::uint64_t size;
    bool bInKeep;
  };
  const std::vector<Member> members = {
      {100, true, 10, false}, {300, true, 10, true}, {300, true, 30, false}, {0, false, 30, true}};
  struct Case {
    std::u16string rules;
    std::size_t kept;
  };
  const Case cases[] = {
      {u"first", 0},
      {u"newest", 1},             // 1 and 2 tie; first settles
      {u"newest,largest", 2},     // the tie goes on to the size
      {u"oldest", 0},             // the undated member never wins a date rule
      {u"largest", 2},
      {u"largest,folder=Keep", 3},
      {u"smallest", 0},
      {u"smallest,newest", 1},
      {u"folder=Keep", 1},
      {u"not-folder=Keep", 0},
      {u"not-folder=Keep,newest", 2},
      {u"folder=Missing,smallest", 0},  // no member filed there: all tie
  };
  std::vector<KeepCandidate> candidates;
  for (const Member& m : members) candidates.push_back({m.date, m.bDated, m.size});
  const FiledIn filed = [&members](std::size_t m, const std::u16string& folder) {
    return folder == u"Keep" && members[m].bInKeep;
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseKept(*ParseKeepRules(c.rules), candidates, filed), c.kept)
        << std::string(c.rules.begin(), c.rules.end());
}

TEST(KeepRules, SizeGuardKeepsOnlyWhatDiffersByMoreThanThePercent) {
  struct Case {
    std::uint64_t duplicate, kept;
    int percent;
    std::optional<int> shown;
  };
  const Case cases[] = {
      {90, 100, 10, std::nullopt},  // exactly at the threshold: disposed of
      {89, 100, 10, 11},            // above
      {95, 100, 10, std::nullopt},  // below
      {100, 89, 10, 11},            // of the larger, whichever it is
      {1000, 895, 10, 10},          // 10.5%: more than 10, shown rounded down
      {0, 0, 0, std::nullopt},
      {1, 0, 99, 100},
      {5, 5, 0, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(GuardedPercent(c.duplicate, c.kept, c.percent), c.shown);
}

// One document of a scope: its id, its key's digest and its date.
struct Mail {
  NOTEID id;
  char key;
  std::int64_t date;
};

std::map<NOTEID, std::set<NOTEID>> GroupsOf(ScopeJudgement& scope) {
  scope.Decide({}, {});
  std::map<NOTEID, std::set<NOTEID>> groups;  // kept id -> members
  for (const ScopeJudgement::Document& d : scope.Documents()) {
    if (d.nGroup == ScopeJudgement::kNone) continue;
    groups[scope.Documents()[scope.Groups()[d.nGroup].nKept].id].insert(d.id);
  }
  return groups;
}

ScopeJudgement::Document Doc(const Mail& m) {
  ScopeJudgement::Document d;
  d.id = m.id;
  d.nDateSeconds = m.date;
  d.bHasDate = 1;
  return d;
}

TEST(KeepRules, DateToleranceFormsTheSameGroupsInAnyOrder) {
  KeepOptions options;
  options.nDateToleranceSeconds = 60;
  options.vecRules = *ParseKeepRules(u"oldest");
  std::vector<Mail> mails = {{1, 'a', 0},   {2, 'a', 50},  {3, 'a', 100}, {4, 'a', 200},
                             {5, 'a', 255}, {6, 'b', 10},  {7, 'b', 20},  {8, 'a', 1000}};
  const std::map<NOTEID, std::set<NOTEID>> expected = {{1, {1, 2, 3}}, {4, {4, 5}}, {6, {6, 7}}};
  std::mt19937 random(7);
  for (int round = 0; round < 6; ++round) {
    ScopeJudgement scope(options);
    scope.BeginFolder(1, u"($Inbox)");
    for (const Mail& m : mails)
      scope.AddKeyed(Doc(m), u"Memo", DigestKeyBytes(std::string(1, m.key)), true);
    EXPECT_EQ(GroupsOf(scope), expected) << "round " << round;
    std::shuffle(mails.begin(), mails.end(), random);
  }
}

TEST(KeepRules, SpareKeptAndEarlierPassesOverruleTheRules) {
  KeepOptions options;
  options.vecRules = *ParseKeepRules(u"newest");
  const KeyDigest a = DigestKeyBytes("a");
  const KeyDigest b = DigestKeyBytes("b");
  ScopeJudgement scope(options);
  scope.BeginFolder(1, u"Work");
  scope.AddAnchor(Doc({1, 'a', 0}), a, false);  // judged by an earlier folder's pass
  scope.AddKeyed(Doc({2, 'a', 50}), u"Memo", a, false);
  scope.AddKeyed(Doc({3, 'b', 10}), u"Memo", b, false);
  scope.AddKeyed(Doc({4, 'b', 90}), u"Memo", b, false);
  scope.AddKeyed(Doc({5, 'b', 50}), u"Memo", b, false);
  scope.Decide([&b](const KeyDigest& d) -> NOTEID { return d == b ? 5 : 0; }, {});
  const auto& docs = scope.Documents();
  using O = ScopeJudgement::Outcome;
  const std::vector<O> outcomes = {O::anchor, O::duplicate, O::duplicate, O::duplicate, O::kept};
  for (std::size_t i = 0; i < docs.size(); ++i) EXPECT_EQ(docs[i].outcome, outcomes[i]) << docs[i].id;
  ASSERT_EQ(scope.Groups().size(), 2u);
  EXPECT_EQ(scope.GroupsInKeptOrder(), (std::vector<std::uint32_t>{0, 1}));
}

}  // namespace
