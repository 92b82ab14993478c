// One Internet mail message (RFC 5322 / MIME bytes) to a "Memo" document.
//
// The items written: Form, Subject, From, SendTo, CopyTo, BlindCopyTo,
// PostedDate (from Date, local time; left out when Date is missing or cannot
// be read), DeliveredDate (Delivery-Date, else the newest Received stamp),
// $MessageID, the header block as received ($RawHeaders), Body, and one
// attachment item per attached part. Body is rich text made from the plain
// text part, with every inline cid: image as a GIF picture after the text; an
// HTML-only message gets an HTML Body item (and a second, rich-text Body item
// holding its pictures). An HTML part beside a plain one and the original
// bytes of every inline image are kept in items of their own so that export
// can give the message back whole.
//
// Thread-safe: each call parses with objects of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/mailio/MailDoc.h"

namespace mailio {

struct MessageResult {
  std::optional<Doc> doc;  // set on success
  std::string error;       // why the message was skipped, otherwise empty
};

// Parses bytes (one whole message; LF or CR LF line ends). Never throws for
// bad input: a message that is not one gives a result with an error.
[[nodiscard]] MessageResult ImportMessage(std::string_view bytes);

// The header block of a message (up to, not including, the empty line that
// ends it) with every line end made LF.
std::string HeaderBlock(std::string_view message);

}  // namespace mailio
