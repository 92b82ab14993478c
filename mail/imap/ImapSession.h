// One connection to an IMAP server, over libetpan's mailimap, for judging:
// connect (TLS, STARTTLS, or plain to this machine only), the program's own
// certificate check before anything else is sent, LOGIN, LIST, EXAMINE (read
// only) and UID FETCH with PEEK, so judging changes no message and no flag.
//
// Threads: one session belongs to one thread at a time (libetpan's session
// is not thread-safe); sessions on different threads are independent.
// Every network wait is bounded by the timeout given to Connect.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/imap/AccountUrl.h"
#include "mail/imap/CertificateCheck.h"
#include "mail/imap/UidSet.h"

namespace mailio::imap {

struct ConnectOptions {
  TrustSettings trust;
  int nTimeoutSeconds = 30;  // connect, handshake, and every read or write
};

// A folder as LIST gives it.
struct FolderInfo {
  std::string strServerName;        // the name to send back, as the server wrote it
  char delimiter = 0;               // the server's separator of levels; 0 for none
  std::vector<std::string> levels;  // the name as UTF-8, split at the separator
  bool bSelectable = true;          // neither \Noselect nor \NonExistent
  std::vector<std::string> specialUse;  // SPECIAL-USE flags, e.g. "\\Trash", "\\All"
};

// What EXAMINE tells of a folder.
struct FolderStatus {
  uint32_t nUidValidity = 0;
  uint32_t nUidNext = 0;
  uint32_t nExists = 0;
};

// What one UID FETCH asks for besides the UID.
struct FetchRequest {
  std::vector<std::string> headerFields;  // BODY.PEEK[HEADER.FIELDS (...)]; none: not fetched
  bool bFlags = false;
  bool bSize = false;          // RFC822.SIZE
  bool bInternalDate = false;
  bool bStructure = false;     // BODYSTRUCTURE: the names of attachments
  bool bWholeMessage = false;  // BODY.PEEK[]
  // X-GM-EXT-1 servers only. X-GM-MSGID: one message shown under several
  // labels has one id. X-GM-LABELS: libetpan reads each label as an
  // astring, so an answer with Gmail's unquoted system labels (\Inbox)
  // cannot be read; ask for labels apart, where such a failure costs little.
  bool bGmailId = false;
  bool bGmailLabels = false;
};

struct FetchedMessage {
  uint32_t nUid = 0;
  std::vector<std::string> flags;  // "\\Seen", "\\Flagged", keywords...; \Recent left out
  uint32_t nSize = 0;
  std::string strInternalDate;       // "04-Jan-2021 10:00:00 +0000"
  std::string strHeaderFields;       // the requested fields as the server sent them
  std::optional<std::string> bytes;  // the whole message, when asked for
  std::vector<std::string> attachmentNames;  // file names of parts, outer first
  uint64_t nGmailMessageId = 0;              // X-GM-MSGID: one message under several labels
  std::vector<std::string> gmailLabels;      // X-GM-LABELS as the server wrote them
};

class ImapSession {
public:
  ImapSession();
  ~ImapSession();  // logs out when still connected; never throws
  ImapSession(const ImapSession&) = delete;
  ImapSession& operator=(const ImapSession&) = delete;

  // Connects to url's host and port and makes the connection private:
  // imaps: TLS at once; imap: STARTTLS, refused when the server does not
  // offer it unless the host is this machine (then plain, and only to a
  // loopback address). The server's certificate is verified (chain and host
  // name, see VerifyServerCertificate) before any command that could carry
  // a password. False with *error (a reason for a row) otherwise; the
  // session is then closed.
  [[nodiscard]] bool Connect(const AccountUrl& url, const ConnectOptions& options, std::string* error);

  // LOGIN with the URL's user. password is not kept: the bytes libetpan
  // wrote it into are cleared before this returns. False with *error when
  // the server refuses.
  [[nodiscard]] bool Login(std::string_view password, std::string* error);

  // True when the server announced capability name (any case), after login
  // when logged in: "UIDPLUS", "MOVE", "X-GM-EXT-1", "SPECIAL-USE", ...
  bool HasCapability(std::string_view name) const;
  // False before Connect and after a failure that closed the connection.
  bool IsConnected() const;
  // True when the connection is private (TLS or STARTTLS).
  bool IsEncrypted() const { return m_bEncrypted; }

  // Every folder of the account, in the server's order.
  [[nodiscard]] bool ListFolders(std::vector<FolderInfo>* folders, std::string* error);
  // Opens strServerName read only.
  [[nodiscard]] bool Examine(const std::string& strServerName, FolderStatus* status, std::string* error);
  // Every UID of the examined folder, ascending.
  [[nodiscard]] bool AllUids(std::vector<uint32_t>* uids, std::string* error);
  // One UID FETCH of the set (at most kMaxUidsPerCommand UIDs), appended to
  // *messages in the server's order. UIDs the server no longer has are
  // simply missing from the answer.
  [[nodiscard]] bool Fetch(const UidSet& uids, const FetchRequest& request, std::vector<FetchedMessage>* messages,
                           std::string* error);

  // --- Changing the account: only for disposal and undo, never while
  // judging. Each command names messages by UID alone.

  // Opens strServerName read-write.
  [[nodiscard]] bool Select(const std::string& strServerName, FolderStatus* status, std::string* error);
  // UID STORE +FLAGS.SILENT / -FLAGS.SILENT of flags ("\\Seen", keywords).
  [[nodiscard]] bool AddFlags(const UidSet& uids, const std::vector<std::string>& flags, std::string* error);
  [[nodiscard]] bool RemoveFlags(const UidSet& uids, const std::vector<std::string>& flags, std::string* error);
  // UID EXPUNGE of exactly uids (UIDPLUS): other messages marked \Deleted
  // stay. Refused without UIDPLUS; the caller decides what may be done then.
  [[nodiscard]] bool UidExpunge(const UidSet& uids, std::string* error);
  // Removes exactly uids, which this program marked \\Deleted: UID EXPUNGE
  // with UIDPLUS; without it a plain EXPUNGE, but only when no other message
  // of the folder is marked \\Deleted (it would go too): else false with
  // *error = kOtherMessagesMarkedDeleted and nothing removed. Without
  // UIDPLUS another client could still mark a message between the check and
  // the EXPUNGE; no command closes that gap.
  [[nodiscard]] bool ExpungeOnly(const UidSet& uids, std::string* error);
  static constexpr const char* kOtherMessagesMarkedDeleted = "other messages marked deleted";
  // UID MOVE (RFC 6851) or UID COPY into strTarget; *newUids (when the
  // server answers COPYUID) maps each source UID to its new one, in order.
  [[nodiscard]] bool UidMove(const UidSet& uids, const std::string& strTarget,
                             std::vector<std::pair<uint32_t, uint32_t>>* newUids, std::string* error);
  [[nodiscard]] bool UidCopy(const UidSet& uids, const std::string& strTarget,
                             std::vector<std::pair<uint32_t, uint32_t>>* newUids, std::string* error);
  [[nodiscard]] bool Create(const std::string& strServerName, std::string* error);
  // APPEND of bytes with flags and the INTERNALDATE strInternalDate (as
  // FetchedMessage holds it; empty: the server's now). *newUid is the UID the
  // server gave (APPENDUID), 0 when it does not say.
  [[nodiscard]] bool Append(const std::string& strServerName, const std::string& bytes,
                            const std::vector<std::string>& flags, const std::string& strInternalDate,
                            uint32_t* newUid, std::string* error);

  // Says LOGOUT (waiting briefly for the answer) and closes.
  void Logout();

private:
  // Closes without a word to the server: after a failure, when the
  // connection may be dead or not to be trusted.
  void Drop();
  struct Impl;
  [[nodiscard]] bool RefreshCapabilities(std::string* error);
  // EXAMINE (bReadOnly) or SELECT, and the folder's numbers.
  [[nodiscard]] bool OpenFolder(const std::string& strServerName, bool bReadOnly, FolderStatus* status,
                                std::string* error);
  // UID SEARCH ALL, or UID SEARCH DELETED with bDeletedOnly; ascending.
  [[nodiscard]] bool SearchUids(bool bDeletedOnly, std::vector<uint32_t>* uids, std::string* error);
  [[nodiscard]] bool Store(const UidSet& uids, const std::vector<std::string>& flags, bool bAdd, std::string* error);
  [[nodiscard]] bool Transfer(const UidSet& uids, const std::string& strTarget, bool bMove,
                              std::vector<std::pair<uint32_t, uint32_t>>* newUids, std::string* error);
  // The reason for a failed command; a lost or garbled conversation is
  // closed.
  std::string Failure(int code, const char* what);

  std::unique_ptr<Impl> m_impl;
  std::vector<std::string> m_capabilities;  // upper case
  bool m_bEncrypted = false;
  std::string m_strUser;
};

}  // namespace mailio::imap
