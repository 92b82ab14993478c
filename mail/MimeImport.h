// One Internet mail message (RFC 5322 / MIME bytes) to a "Memo" document.
//
// The items written: Form, Subject, From, SendTo, CopyTo, BlindCopyTo,
// PostedDate (from Date, local time; left out when Date is missing or cannot
// be read), DeliveredDate (Delivery-Date, else the newest Received stamp),
// $MessageID, Body, one attachment item per attached part, and the message's
// own bytes ($MIMEMessage, type 25). Body is rich text made from the plain
// text part, with every inline cid: image as a GIF picture after the text; an
// HTML-only message gets an HTML Body item (and a second, rich-text Body item
// holding its pictures). These are exactly the items a duplicate run reads.
//
// Thread-safe: each call parses with objects of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mail/MailDoc.h"

namespace mailio {

struct MessageResult {
  std::optional<Doc> doc;  // set on success
  std::string error;       // why the message was skipped, otherwise empty
};

// What to build beyond the fields. A mail source cleaned in place needs
// neither the bytes (they stay in the source) nor attachment contents (a run
// compares attachment names), and no Body when the body is not compared.
struct ImportOptions {
  bool bKeepOriginal = true;   // the $MIMEMessage item
  bool bContent = true;        // Body and attachment items; false: headers only
  bool bAttachmentData = true;  // attachment bytes (false: names, empty data)
  // Plainly formed bodies are read by a scan of their parts instead of a
  // GMime tree of the whole message, with the same result; false parses
  // every message whole (the tests compare the two).
  bool bScanBody = true;
};

// Parses bytes (one whole message; LF or CR LF line ends). Never throws for
// bad input: a message that is not one gives a result with an error.
[[nodiscard]] MessageResult ImportMessage(std::string_view bytes, const ImportOptions& options = {});
// The same, taking the bytes over for the kept original instead of copying.
[[nodiscard]] MessageResult ImportOwnedMessage(std::string bytes, const ImportOptions& options = {});

// Readies the allocator for reading messages by the thousand: without it a
// large message's buffers are mapped and unmapped anew each time, a page
// fault per page. Process-wide; the tools call it before an import.
void TuneAllocatorForImport();

// True when bytes start with a header field (blank lines before it
// allowed): the one thing a message must have to be read as mail.
bool HasHeaderLines(std::string_view bytes);

// The header block of a message (up to, not including, the empty line that
// ends it) with every line end made LF.
std::string HeaderBlock(std::string_view message);

}  // namespace mailio
