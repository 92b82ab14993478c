// vCard 2.1, 3.0 and 4.0: reading cards into "Person" documents and writing
// documents back as vCard 3.0.
//
// A small parser of our own: the packaged libraries either read vCard 4.0
// only (belcard) or bring the whole Evolution data server stack with them
// (libebook-contacts), while what a phone or mail client exports needs all
// three versions, quoted-printable with charsets, folded lines and 2.1's bare
// TYPE parameters.
//
// Items written: Form "Person", Type, FullName and FullNameInput (FN, or a
// name made from N, ORG or the e-mail address), FirstName, LastName,
// MiddleInitial, Title and Suffix (N), CompanyName and Department (ORG),
// MailAddress and primaryPhoneNumber (the preferred, else the first, EMAIL
// and TEL), OtherMailAddresses and OtherPhoneNumbers (the rest), and every
// other property as a vCard 3.0 line in $VCardProperties. PHOTO, LOGO and
// SOUND are left out.
//
// Thread-safe: no shared state.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/MailDoc.h"

namespace mailio {

struct VCardProperty {
  std::string name;                 // upper case, group dropped
  std::vector<std::string> types;   // lower case, from TYPE= and 2.1's bare parameters
  std::vector<std::pair<std::string, std::string>> params;  // others; names upper case
  bool preferred = false;           // pref type, or PREF=n (n in preferLevel)
  int preferLevel = 101;            // 4.0 PREF: 1 most preferred; 101 when none
  std::string value;                // UTF-8, transfer encoding undone, escapes kept
  bool base64 = false;              // value is still base64 text
};

struct VCard {
  std::string version;  // "2.1", "3.0", "4.0" or "" when the card does not say
  std::vector<VCardProperty> properties;
};

struct CardResult {
  std::size_t number = 0;  // place of the card in its file, from 1
  std::optional<Doc> doc;  // set on success
  std::string error;       // why the card was skipped
};

// Reads every card of bytes. Text outside cards is ignored; a card without
// END:VCARD, or one that gives no name, e-mail address or phone number, is
// reported with an error and the next card is read as usual.
void ReadVCards(std::string_view bytes, const std::function<void(CardResult&&)>& onCard);

// The parsed properties of one card's text (BEGIN to END); for tests.
std::optional<VCard> ParseVCard(std::string_view cardText);

// Components of a structured value (N, ORG, ADR), split at unescaped ";"
// and unescaped.
std::vector<std::string> VCardComponents(std::string_view value);
std::string VCardUnescape(std::string_view value);

// A "Person" document as a vCard 3.0 card, CR LF line ends, folded at 75
// bytes.
[[nodiscard]] std::string WriteVCard(const Doc& person);

}  // namespace mailio
