#include "mail/imap/ImapSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include <libetpan/libetpan.h>
#include <openssl/crypto.h>

#include "mail/imap/FolderName.h"
#include "mail/imap/ImapParts.h"
#include "mail/imap/Socket.h"

namespace mailio::imap {

namespace {

bool IsAddressLiteral(const std::string& host) {
  in6_addr v6{};
  in_addr v4{};
  return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// True when the server has closed its side of session's connection.
bool PeerClosed(mailimap* session) {
  if (!session || !session->imap_stream) return true;
  const int fd = mailstream_low_get_fd(mailstream_get_low(session->imap_stream));
  if (fd < 0) return true;
  pollfd pfd{fd, POLLIN | POLLRDHUP, 0};
  if (poll(&pfd, 1, 0) <= 0) return false;
  if (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
  char byte = 0;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool Contains(const UidSet& set, uint32_t uid) {
  for (const UidRange& range : set.ranges) {
    if (uid >= range.first && uid <= range.last) return true;
  }
  return false;
}

void MergeInto(FetchedMessage* kept, FetchedMessage&& more) {
  if (kept->flags.empty()) kept->flags = std::move(more.flags);
  if (kept->nSize == 0) kept->nSize = more.nSize;
  if (kept->strInternalDate.empty()) kept->strInternalDate = std::move(more.strInternalDate);
  if (kept->strHeaderFields.empty()) kept->strHeaderFields = std::move(more.strHeaderFields);
  if (!kept->bytes) kept->bytes = std::move(more.bytes);
  if (kept->attachmentNames.empty()) kept->attachmentNames = std::move(more.attachmentNames);
  if (kept->nGmailMessageId == 0) kept->nGmailMessageId = more.nGmailMessageId;
  if (kept->gmailLabels.empty()) kept->gmailLabels = std::move(more.gmailLabels);
}

}  // namespace

ImapSession::ImapSession() : m_impl(std::make_unique<Impl>()) {}

ImapSession::~ImapSession() { Logout(); }

std::string ImapSession::Failure(int code, const char* what) {
  std::string out;
  // libetpan reports a connection closed in the middle of an answer as an
  // answer it cannot parse.
  if (code == MAILIMAP_ERROR_PARSE && PeerClosed(m_impl->session)) code = MAILIMAP_ERROR_STREAM;
  if (code == MAILIMAP_ERROR_STREAM || code == MAILIMAP_ERROR_PARSE) {
    out = code == MAILIMAP_ERROR_STREAM ? std::string("the connection was lost or timed out during ") + what
                                        : std::string("the server's answer to ") + what + " cannot be read";
    // Where the conversation stands is unknown now: nothing more is sent.
    Drop();
    return out;
  }
  out = std::string("the server refused ") + what;
  const char* text = m_impl->session ? m_impl->session->imap_response : nullptr;
  if (text && *text) out += std::string(": ") + text;
  return out;
}

bool ImapSession::Connect(const AccountUrl& url, const ConnectOptions& options, std::string* error) {
  Logout();
  m_impl = std::make_unique<Impl>();
  m_capabilities.clear();
  m_bEncrypted = false;
  m_strUser = url.strUser;
  Impl& impl = *m_impl;
  impl.strHost = url.ConnectHost();
  impl.strSniName = IsAddressLiteral(impl.strHost) ? std::string() : impl.strHost;
  impl.nPort = url.nPort;
  impl.trust = options.trust;
  const time_t timeout = options.nTimeoutSeconds;
  // Without TLS from the start, a connection that may stay plain must not
  // leave this machine, whatever the name resolves to.
  const bool bLoopback = IsLoopbackHost(url.strHost);
  const int fd = ConnectTcp(impl.strHost, url.nPort, options.nTimeoutSeconds * 1000, !url.bTls && bLoopback, error);
  if (fd < 0) return false;
  impl.session = mailimap_new(0, nullptr);
  if (!impl.session) {
    close(fd);
    *error = "out of memory";
    return false;
  }
  mailimap_set_timeout(impl.session, timeout);

  mailstream* stream = nullptr;
  if (url.bTls) {
    stream = mailstream_ssl_open_with_callback_timeout(fd, timeout, &Impl::SetServerName, &impl);
    if (!stream) {
      close(fd);
      *error = "the TLS handshake failed";
      return false;
    }
    if (!impl.CheckCertificate(stream)) {
      mailstream_close(stream);
      *error = impl.strCertificateError;
      return false;
    }
    m_bEncrypted = true;
  } else {
    stream = mailstream_socket_open_timeout(fd, timeout);
    if (!stream) {
      close(fd);
      *error = "out of memory";
      return false;
    }
  }
  const int greeting = mailimap_connect(impl.session, stream);  // the session owns the stream now
  if (greeting != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && greeting != MAILIMAP_NO_ERROR_AUTHENTICATED) {
    *error = Failure(greeting, "the greeting");
    Drop();
    return false;
  }
  if (!RefreshCapabilities(error)) return false;
  if (!url.bTls) {
    if (HasCapability("STARTTLS") && greeting == MAILIMAP_NO_ERROR_NON_AUTHENTICATED) {
      const int r = mailimap_socket_starttls_with_callback(impl.session, &Impl::SetServerName, &impl);
      if (r != MAILIMAP_NO_ERROR) {
        *error = r == MAILIMAP_ERROR_STREAM ? "the TLS handshake after STARTTLS failed" : Failure(r, "STARTTLS");
        Drop();
        return false;
      }
      if (!impl.CheckCertificate(impl.session->imap_stream)) {
        *error = impl.strCertificateError;
        Drop();
        return false;
      }
      m_bEncrypted = true;
      // What the server announced before TLS may have been forged.
      if (!RefreshCapabilities(error)) return false;
    } else if (!bLoopback) {
      *error = "the server does not offer STARTTLS";
      Drop();
      return false;
    }
  }
  return true;
}

bool ImapSession::RefreshCapabilities(std::string* error) {
  m_capabilities.clear();
  mailimap_capability_data* data = nullptr;
  const int r = mailimap_capability(m_impl->session, &data);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "CAPABILITY");
    Drop();
    return false;
  }
  for (clistiter* it = clist_begin(data->cap_list); it; it = clist_next(it)) {
    const auto* cap = static_cast<const struct mailimap_capability*>(clist_content(it));
    if (cap->cap_type == MAILIMAP_CAPABILITY_NAME && cap->cap_data.cap_name) {
      m_capabilities.push_back(Upper(cap->cap_data.cap_name));
    } else if (cap->cap_type == MAILIMAP_CAPABILITY_AUTH_TYPE && cap->cap_data.cap_auth_type) {
      m_capabilities.push_back("AUTH=" + Upper(cap->cap_data.cap_auth_type));
    }
  }
  mailimap_capability_data_free(data);
  return true;
}

bool ImapSession::HasCapability(std::string_view name) const {
  return std::find(m_capabilities.begin(), m_capabilities.end(), Upper(name)) != m_capabilities.end();
}

bool ImapSession::Login(std::string_view password, std::string* error) {
  mailimap* session = m_impl->session;
  if (!session) {
    *error = "not connected";
    return false;
  }
  if (session->imap_state == MAILIMAP_STATE_AUTHENTICATED) return true;  // PREAUTH
  if (HasCapability("LOGINDISABLED")) {
    *error = "the server does not accept LOGIN on this connection";
    return false;
  }
  const std::string secret(password);
  const int r = mailimap_login(session, m_strUser.c_str(), secret.c_str());
  // The command went out through the stream's write buffer; its bytes stay
  // there until overwritten.
  if (session->imap_stream && session->imap_stream->write_buffer) {
    OPENSSL_cleanse(session->imap_stream->write_buffer, session->imap_stream->buffer_max_size);
  }
  OPENSSL_cleanse(const_cast<char*>(secret.data()), secret.size());
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "the login");
    return false;
  }
  return RefreshCapabilities(error);
}

bool ImapSession::ListFolders(std::vector<FolderInfo>* folders, std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  clist* list = nullptr;
  const int r = mailimap_list(m_impl->session, "", "*", &list);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "LIST");
    return false;
  }
  for (clistiter* it = clist_begin(list); it; it = clist_next(it)) {
    folders->push_back(FolderFromList(static_cast<const mailimap_mailbox_list*>(clist_content(it))));
  }
  mailimap_list_result_free(list);
  return true;
}

bool ImapSession::Examine(const std::string& strServerName, FolderStatus* status, std::string* error) {
  return OpenFolder(strServerName, true, status, error);
}

bool ImapSession::OpenFolder(const std::string& strServerName, bool bReadOnly, FolderStatus* status,
                             std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  const int r = bReadOnly ? mailimap_examine(m_impl->session, strServerName.c_str())
                          : mailimap_select(m_impl->session, strServerName.c_str());
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, bReadOnly ? "EXAMINE" : "SELECT");
    return false;
  }
  const mailimap_selection_info* info = m_impl->session->imap_selection_info;
  if (!info || info->sel_uidvalidity == 0) {
    *error = "the server gives the folder no UIDVALIDITY";
    return false;
  }
  status->nUidValidity = info->sel_uidvalidity;
  status->nUidNext = info->sel_uidnext;
  status->nExists = info->sel_exists;
  return true;
}

bool ImapSession::AllUids(std::vector<uint32_t>* uids, std::string* error) { return SearchUids(false, uids, error); }

bool ImapSession::SearchUids(bool bDeletedOnly, std::vector<uint32_t>* uids, std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  mailimap_search_key* key =
      bDeletedOnly ? mailimap_search_key_new(MAILIMAP_SEARCH_KEY_DELETED, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                                             nullptr, nullptr, nullptr)
                   : mailimap_search_key_new_all();
  clist* result = nullptr;
  const int r = mailimap_uid_search(m_impl->session, nullptr, key, &result);
  mailimap_search_key_free(key);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "UID SEARCH");
    return false;
  }
  uids->clear();
  for (clistiter* it = clist_begin(result); it; it = clist_next(it)) {
    uids->push_back(*static_cast<const uint32_t*>(clist_content(it)));
  }
  mailimap_search_result_free(result);
  std::sort(uids->begin(), uids->end());
  return true;
}

bool ImapSession::Fetch(const UidSet& uids, const FetchRequest& request, std::vector<FetchedMessage>* messages,
                        std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  if (uids.ranges.empty()) return true;
  if (uids.Count() > kMaxUidsPerCommand) {
    *error = "too many UIDs for one command";
    return false;
  }
  if ((request.bGmailId || request.bGmailLabels) && !HasCapability("X-GM-EXT-1")) {
    *error = "the server has no Gmail extensions";
    return false;
  }
  mailimap_fetch_type* type = MakeFetchType(request, error);
  if (!type) return false;
  mailimap_set* set = mailimap_set_new_empty();
  for (const UidRange& range : uids.ranges) mailimap_set_add_interval(set, range.first, range.last);
  clist* result = nullptr;
  const int r = mailimap_uid_fetch(m_impl->session, set, type, &result);
  mailimap_set_free(set);
  mailimap_fetch_type_free(type);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "UID FETCH");
    return false;
  }
  // Another client's flag change can bring an unasked FETCH of a message
  // within or outside the set: only what was asked for is kept, and a second
  // answer for one UID only fills in what the first lacked.
  const size_t first = messages->size();
  for (clistiter* it = clist_begin(result); it; it = clist_next(it)) {
    FetchedMessage message = MessageFromFetch(static_cast<const mailimap_msg_att*>(clist_content(it)));
    if (!Contains(uids, message.nUid)) continue;
    auto same = std::find_if(messages->begin() + static_cast<std::ptrdiff_t>(first), messages->end(),
                             [&](const FetchedMessage& m) { return m.nUid == message.nUid; });
    if (same == messages->end()) {
      messages->push_back(std::move(message));
    } else {
      MergeInto(&*same, std::move(message));
    }
  }
  mailimap_fetch_list_free(result);
  return true;
}

bool ImapSession::IsConnected() const { return m_impl && m_impl->session; }

void ImapSession::Drop() {
  if (!m_impl || !m_impl->session) return;
  // mailimap_free says LOGOUT on a stream it still holds, and waits for the
  // answer: the stream goes first.
  if (m_impl->session->imap_stream) {
    mailstream_close(m_impl->session->imap_stream);
    m_impl->session->imap_stream = nullptr;
  }
  mailimap_free(m_impl->session);
  m_impl->session = nullptr;
}

void ImapSession::Logout() {
  if (!m_impl || !m_impl->session) return;
  if (m_impl->session->imap_stream) {
    // A short wait: the answer to LOGOUT changes nothing for us.
    mailstream_low_set_timeout(mailstream_get_low(m_impl->session->imap_stream), 2);
    mailimap_logout(m_impl->session);
  }
  Drop();
}

}  // namespace mailio::imap
