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
// Parameter values lose their double quotes (vCard has no way to write one inside a value); values with
// ",", ";" or ":" are quoted. So the line reads back as the same property,
// and writing that gives the same line again.
std::string CanonicalLine(const VCardProperty& prop);

// Where a line's value starts: the first ":" outside double quotes, npos
// when there is none.
std::size_t VCardValueColon(std::string_view line);

// The address or number an EMAIL or TEL property's escaped value stands for:
// unescaped, trimmed, without a "mailto:" or "tel:" scheme. The reader and
// the writer must agree on it, or a written card would read back otherwise.
std::string VCardContactValue(std::string_view name, const std::string& escapedValue);

}  // namespace mailio
