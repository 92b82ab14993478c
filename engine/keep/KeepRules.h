// Keep rules: which member of a group of duplicates stays.
//
// A chain of rules is tried in order; the first rule that tells the members
// apart decides, and the members it ties go on to the next rule. `first`
// (the member met first in the run's order) ends every chain, so a choice is
// always made and never depends on anything but the members themselves.
// A rule changes only which member stays, never which documents form a group.
//
// Plain values and pure functions; safe to use from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct KeepRule {
  enum class Kind : std::uint8_t { first, newest, oldest, largest, smallest, inFolder, notInFolder };
  Kind kind = Kind::first;
  std::u16string strFolder;  // inFolder, notInFolder: the folder's full name ("A\B")
  bool operator==(const KeepRule&) const = default;
};

// The options that widen or steer the judgement of duplicates. All off by
// default: the run then keeps the first document met and compares exactly.
struct KeepOptions {
  enum Normalize : std::uint8_t { kSubject = 1, kAddresses = 2, kSpaces = 4 };
  std::vector<KeepRule> vecRules;  // empty: first
  std::uint8_t nNormalize = 0;     // Normalize bits
  std::int32_t nDateToleranceSeconds = -1;  // -1: off
  std::int32_t nSizeGuardPercent = -1;      // -1: off
  // A rule other than first is in force.
  bool ChoosesOtherThanFirst() const;
  bool HasDateTolerance() const { return nDateToleranceSeconds >= 0; }
  bool HasSizeGuard() const { return nSizeGuardPercent >= 0; }
};

// Parses "RULE[,RULE...]" (first, newest, oldest, largest, smallest,
// folder=NAME, not-folder=NAME). Rules after a `first` can never decide and
// are dropped. Returns nullopt on an unknown rule or an empty folder name.
[[nodiscard]] std::optional<std::vector<KeepRule>> ParseKeepRules(const std::u16string& text);

// The chain as applied: the rules given, then `first` unless they end with
// it ("newest,first").
std::u16string KeepChainText(const std::vector<KeepRule>& rules);

// What the rules read of a member.
struct KeepCandidate {
  std::int64_t nDateSeconds = 0;
  bool bHasDate = false;  // an undated member never wins a date rule over a dated one
  std::uint64_t nSizeBytes = 0;
};

// True when the member is filed in the named folder.
using FiledIn = std::function<bool(std::size_t member, const std::u16string& folder)>;

// The index of the member that stays. members are in the run's order (so the
// first of them is what `first` keeps); there is at least one. filedIn is
// asked only by folder rules, and only about members still tied.
std::size_t ChooseKept(const std::vector<KeepRule>& rules, const std::vector<KeepCandidate>& members,
                       const FiledIn& filedIn);

// The size guard: when the duplicate's size differs from the kept one's by
// more than percent of the larger, the difference as a whole percent of the
// larger, rounded down (the duplicate then stays); otherwise nullopt.
[[nodiscard]] std::optional<int> GuardedPercent(std::uint64_t duplicateBytes, std::uint64_t keptBytes,
                                                int percent);
