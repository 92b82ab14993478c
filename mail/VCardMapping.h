// Between parsed vCard properties and the items of a "Person" document.
// Internal to the vCard reader and writer.
#pragma once

#include <optional>
#include <string>

#include "mail/VCard.h"

namespace mailio {

// The Person document of a card, or nullopt with *error when the card gives
// no name, e-mail address or phone number.
std::optional<Doc> PersonFromVCard(const VCard& card, std::string* error);

// A property as one vCard 3.0 line (unfolded, no line end): types as TYPE=,
// a preference as the type "pref", charset and quoted-printable undone.
std::string CanonicalLine(const VCardProperty& prop);

}  // namespace mailio
