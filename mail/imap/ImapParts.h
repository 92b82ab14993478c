// Inside the IMAP client only: libetpan's parsed structures to and from the
// client's own values. Pure functions; thread-safe.
#pragma once

#include <string>

#include <libetpan/libetpan.h>

#include "mail/imap/ImapSession.h"

namespace mailio::imap {

// One LIST answer: the name decoded from modified UTF-7 (a name that is not
// valid modified UTF-7 is shown as the server wrote it) and split at the
// server's separator.
FolderInfo FolderFromList(const mailimap_mailbox_list* entry);

// The FETCH items of request, always with UID; nullptr with *error when a
// header field name could end the command early (anything but printable
// ASCII without space, parentheses, quotes or braces).
mailimap_fetch_type* MakeFetchType(const FetchRequest& request, std::string* error);

// One FETCH answer; nUid is 0 when the answer carries no UID.
FetchedMessage MessageFromFetch(const mailimap_msg_att* att);

// The file names of a BODYSTRUCTURE's parts: a disposition's filename, else
// a content type's name; outer parts first.
void CollectAttachmentNames(const mailimap_body* body, std::vector<std::string>* names);

}  // namespace mailio::imap
