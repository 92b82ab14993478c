// Looser comparison of fields: each normalisation, table-driven.
#include <gtest/gtest.h>

#include "engine/keys/LooseKeys.h"

namespace {

struct TextCase {
  std::u16string input;
  std::u16string expected;
};

TEST(LooseKeys, SubjectLosesPrefixesCountsAndListTags) {
  const TextCase cases[] = {
      {u"Re: Report", u"Report"},
      {u"RE: Fwd: FW: Report", u"Report"},
      {u"AW: WG: Bericht", u"Bericht"},
      {u"SV: VS: Antw: Rapport", u"Rapport"},
      {u"R\u00E9f.: R\u00C9F. : Rapport", u"Rapport"},
      {u"Re[2]: Re(3): Report", u"Report"},
      {u"[team] Re: [team] Report", u"Report"},
      {u"  Re:\tQuarterly \r\n report  ", u"Quarterly report"},
      {u"Report: Re: numbers", u"Report: Re: numbers"},  // only in front
      {u"Rework plan", u"Rework plan"},                   // a word, not a prefix
      {u"Re[x]: Report", u"Re[x]: Report"},               // not a count
      {u"[]", u"[]"},
  };
  for (const TextCase& c : cases)
    EXPECT_EQ(keys::NormalizeSubject(c.input), c.expected) << std::string(c.input.begin(), c.input.end());
}

TEST(LooseKeys, AddressesLoseDisplayNamesCaseAndOrder) {
  const TextCase cases[] = {
      {u"Ada Example <Ada@Example.org>", u"ada@example.org"},
      {u"\"Example, Ada\" <ada@example.org>", u"ada@example.org"},
      {u"ada@example.org (Ada Example)", u"ada@example.org"},
      {u"CN=Ann Lee/O=Acme", u"cn=ann lee/o=acme"},
      {u"bob@example.org; Ada <ada@example.org>", u"ada@example.org;bob@example.org"},
      {u"ada@example.org, bob@example.org", u"ada@example.org;bob@example.org"},
      {u"Lee, Ann <ann@example.org>", u"ann@example.org"},
      {u"ada@example.org;ADA@example.org", u"ada@example.org"},
  };
  for (const TextCase& c : cases)
    EXPECT_EQ(keys::NormalizeAddresses(c.input), c.expected) << std::string(c.input.begin(), c.input.end());
  EXPECT_EQ(keys::NormalizeAddresses(u"bob@x.org;ada@x.org"), keys::NormalizeAddresses(u"Ada <ada@x.org>; bob@x.org"));
}

TEST(LooseKeys, SpacesAndLineEndsCountAsOneSpace) {
  const TextCase cases[] = {
      {u"a  b", u"a b"}, {u"a\r\nb", u"a b"}, {u"\t a \n", u"a"}, {u"a\u00A0b", u"a b"}, {u"", u""}};
  for (const TextCase& c : cases) EXPECT_EQ(keys::NormalizeSpaces(c.input), c.expected);
  EXPECT_EQ(keys::NormalizeSpacesUtf8("  line one\r\n\r\nline\ttwo \n"), "line one line two");
  EXPECT_EQ(keys::NormalizeSpacesUtf8("caf\xC3\xA9  au lait"), "caf\xC3\xA9 au lait");
}

TEST(LooseKeys, DateChainsSplitAtAGapLargerThanTheTolerance) {
  struct Case {
    std::vector<std::int64_t> dates;
    std::int64_t tolerance;
    std::vector<std::size_t> starts;
  };
  const Case cases[] = {
      {{0, 60, 120, 180}, 60, {0}},          // a chain, though the ends are 180 apart
      {{0, 60, 121, 180}, 60, {0, 2}},       // a gap of 61 splits
      {{0, 0, 0}, 0, {0}},                   // tolerance 0: equal dates only
      {{0, 1}, 0, {0, 1}},
      {{}, 10, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(keys::ChainStarts(c.dates, c.tolerance), c.starts);
}

}  // namespace
