// Looser comparison of mail and contact fields: normalised texts and the
// date tolerance. Beside the exact keys of engine/DuplicateKeys.h, which call
// these only when an option asks for them, so the exact key stays as it was.
//
// Pure functions; safe to use from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace keys {

// A subject without the reply and forward prefixes in front of it (Re:,
// Fwd:, FW:, AW:, WG:, SV:, VS:, Antw:, Réf.: in any letter case, any number
// of them, with counts such as Re[2]: or Re(2):), without mailing-list tags
// in brackets before or between them, runs of white space as one space and
// none at either end.
std::u16string NormalizeSubject(std::u16string_view subject);

// Addresses compared by themselves: each entry of a ';' list (and each of a
// ',' list whose every piece is an address) reduced to its address,
// lower-cased, without a display name ("Name <a@b>", "\"Name\" <a@b>",
// "a@b (Name)"); a name without '@' ("CN=Ann Lee/O=Acme") stays whole,
// lower-cased. The entries sorted and joined by ';', so order and repeats
// do not count.
std::u16string NormalizeAddresses(std::u16string_view addresses);

// Runs of white space (line ends included) as one space, none at either end.
std::u16string NormalizeSpaces(std::u16string_view text);
// The same for UTF-8 bytes (ASCII white space only; other bytes untouched).
std::string NormalizeSpacesUtf8(std::string_view bytes);

// The date tolerance: dates sorted ascending split into chains where the gap
// between neighbours is larger than toleranceSeconds. Returns the index of
// the first date of each chain (0 first). Chains depend only on the set of
// dates, never on the order documents came in.
std::vector<std::size_t> ChainStarts(const std::vector<std::int64_t>& sortedDates,
                                     std::int64_t toleranceSeconds);

}  // namespace keys
