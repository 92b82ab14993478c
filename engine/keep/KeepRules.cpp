#include "engine/keep/KeepRules.h"

#include <algorithm>
#include <limits>

namespace {

std::vector<std::u16string> SplitCommas(const std::u16string& text) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(u',', start);
    parts.push_back(text.substr(start, comma == std::u16string::npos ? comma : comma - start));
    if (comma == std::u16string::npos) break;
    start = comma + 1;
  }
  return parts;
}

// Keeps the tied members whose score is the best one; score is nullopt for a
// member the rule cannot rank (it loses to every ranked member).
template <typename Score>
void KeepBest(std::vector<std::size_t>& tied, Score score, bool bHighest) {
  std::vector<std::size_t> best;
  std::optional<std::int64_t> bestScore;
  for (std::size_t member : tied) {
    const std::optional<std::int64_t> s = score(member);
    if (!s) continue;
    if (!bestScore || (bHighest ? *s > *bestScore : *s < *bestScore)) {
      bestScore = s;
      best.clear();
    }
    if (*s == *bestScore) best.push_back(member);
  }
  if (!best.empty()) tied = std::move(best);
}

std::int64_t SizeScore(std::uint64_t size) {
  return static_cast<std::int64_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace

bool KeepOptions::ChoosesOtherThanFirst() const {
  return std::any_of(vecRules.begin(), vecRules.end(),
                     [](const KeepRule& r) { return r.kind != KeepRule::Kind::first; });
}

std::optional<std::vector<KeepRule>> ParseKeepRules(const std::u16string& text) {
  using K = KeepRule::Kind;
  std::vector<KeepRule> rules;
  for (const std::u16string& part : SplitCommas(text)) {
    KeepRule rule;
    static const std::pair<std::u16string_view, K> kPlain[] = {
        {u"first", K::first},     {u"newest", K::newest},     {u"oldest", K::oldest},
        {u"largest", K::largest}, {u"smallest", K::smallest}};
    const auto plain = std::find_if(std::begin(kPlain), std::end(kPlain),
                                    [&part](const auto& p) { return p.first == part; });
    if (plain != std::end(kPlain)) {
      rule.kind = plain->second;
    } else if (part.rfind(u"folder=", 0) == 0 && part.size() > 7) {
      rule = {K::inFolder, part.substr(7)};
    } else if (part.rfind(u"not-folder=", 0) == 0 && part.size() > 11) {
      rule = {K::notInFolder, part.substr(11)};
    } else {
      return std::nullopt;
    }
    rules.push_back(std::move(rule));
    if (rules.back().kind == K::first) break;
  }
  return rules;
}

std::u16string KeepChainText(const std::vector<KeepRule>& rules) {
  using K = KeepRule::Kind;
  std::u16string text;
  for (const KeepRule& rule : rules) {
    switch (rule.kind) {
      case K::first: text += u"first"; break;
      case K::newest: text += u"newest"; break;
      case K::oldest: text += u"oldest"; break;
      case K::largest: text += u"largest"; break;
      case K::smallest: text += u"smallest"; break;
      case K::inFolder: text += u"folder=" + rule.strFolder; break;
      case K::notInFolder: text += u"not-folder=" + rule.strFolder; break;
    }
    text += u',';
  }
  if (rules.empty() || rules.back().kind != K::first) return text + u"first";
  text.pop_back();
  return text;
}

std::size_t ChooseKept(const std::vector<KeepRule>& rules, const std::vector<KeepCandidate>& members,
                       const FiledIn& filedIn) {
  using K = KeepRule::Kind;
  std::vector<std::size_t> tied(members.size());
  for (std::size_t i = 0; i < tied.size(); ++i) tied[i] = i;
  for (const KeepRule& rule : rules) {
    if (tied.size() < 2 || rule.kind == K::first) break;
    const auto date = [&members](std::size_t m) -> std::optional<std::int64_t> {
      if (!members[m].bHasDate) return std::nullopt;
      return members[m].nDateSeconds;
    };
    const auto size = [&members](std::size_t m) -> std::optional<std::int64_t> {
      return SizeScore(members[m].nSizeBytes);
    };
    const auto filed = [&](std::size_t m) -> std::optional<std::int64_t> {
      const bool bIn = filedIn && filedIn(m, rule.strFolder);
      return (bIn == (rule.kind == K::inFolder)) ? 1 : 0;
    };
    switch (rule.kind) {
      case K::newest: KeepBest(tied, date, true); break;
      case K::oldest: KeepBest(tied, date, false); break;
      case K::largest: KeepBest(tied, size, true); break;
      case K::smallest: KeepBest(tied, size, false); break;
      case K::inFolder:
      case K::notInFolder: KeepBest(tied, filed, true); break;
      case K::first: break;
    }
  }
  return tied.front();  // members are in run order: first settles the rest
}

std::optional<int> GuardedPercent(std::uint64_t duplicateBytes, std::uint64_t keptBytes, int percent) {
  const std::uint64_t larger = std::max(duplicateBytes, keptBytes);
  const std::uint64_t smaller = std::min(duplicateBytes, keptBytes);
  // Sizes are 32-bit counts here, so 100 times a difference cannot overflow.
  if (percent < 0 || larger == 0 || 100 * (larger - smaller) <= static_cast<std::uint64_t>(percent) * larger)
    return std::nullopt;
  return static_cast<int>(100 * (larger - smaller) / larger);
}
