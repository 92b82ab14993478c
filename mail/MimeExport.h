// A "Memo" document back to an Internet mail message.
//
// A document that holds its original message ($MIMEMessage) gets those bytes,
// unchanged. A document imported before the bytes were kept gets its header block as received,
// less the MIME structure fields, followed by a MIME body rebuilt from the
// items: the plain text of Body (beside the kept HTML alternative), an HTML
// Body, the original inline images with their Content-IDs, and every
// attachment with its file name and bytes. Importing the result gives the same
// document again. A document without kept headers gets From, To, Cc, Bcc,
// Subject, Date and Message-ID made from its items.
//
// Thread-safe.
#pragma once

#include <string>

#include "mail/MailDoc.h"

namespace mailio {

// The message bytes, LF line ends, without an mbox From_ line.
[[nodiscard]] std::string ExportMessage(const Doc& doc);

// The address for the mbox From_ line: the first address of From, else
// "MAILER-DAEMON".
std::string EnvelopeSender(const Doc& doc);

// The MIME type for an attachment's file name, by its extension;
// "application/octet-stream" when unknown.
std::string MimeTypeForFileName(const std::string& fileName);

}  // namespace mailio
