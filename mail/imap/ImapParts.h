// Inside the IMAP client only: libetpan's parsed structures to and from the
// client's own values. Pure functions; thread-safe.
#pragma once

#include <string>
#include <vector>

#include <libetpan/libetpan.h>

#include "mail/imap/ImapSession.h"

namespace mailio::imap {

// The session's libetpan state, shared by the files that implement it.

struct ImapSession::Impl {
  mailimap* session = nullptr;  // owned; holds the stream once connected
  std::string strHost;
  std::string strSniName;       // empty for an address: no SNI is sent for one
  uint16_t nPort = 0;
  TrustSettings trust;
  std::string strCertificateError;  // why the last handshake's chain was refused

  ~Impl() {
    if (!session) return;
    if (session->imap_stream) mailstream_close(session->imap_stream);  // no LOGOUT from mailimap_free
    session->imap_stream = nullptr;
    mailimap_free(session);
  }

  static void SetServerName(mailstream_ssl_context* ctx, void* data) {
    const Impl* self = static_cast<const Impl*>(data);
    if (!self->strSniName.empty()) {
      mailstream_ssl_set_server_name(ctx, const_cast<char*>(self->strSniName.c_str()));
    }
  }

  // The chain the handshake on stream brought, checked; true when trusted.
  bool CheckCertificate(mailstream* stream) {
    std::vector<std::string> chain;
    if (carray* certs = mailstream_get_certificate_chain(stream)) {
      for (unsigned i = 0; i < carray_count(certs); ++i) {
        const MMAPString* der = static_cast<const MMAPString*>(carray_get(certs, i));
        chain.emplace_back(der->str, der->len);
      }
      mailstream_certificate_chain_free(certs);
    }
    return VerifyServerCertificate(chain, strHost, nPort, trust, &strCertificateError);
  }
};

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
