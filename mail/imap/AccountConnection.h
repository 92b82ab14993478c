// A logged-in connection to one account for judging, which opens itself
// again when it drops: the run goes on from where it was, and only a second
// failure in a row ends the account. Folders are read in UID order, in
// commands of at most kMaxUidsPerCommand UIDs, one batch in memory at a time.
//
// One thread at a time (it owns one ImapSession).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mail/imap/AccountUrl.h"
#include "mail/imap/ImapSession.h"
#include "mail/imap/Password.h"

namespace mailio::imap {

struct ReadOutcome {
  enum class Kind {
    done,           // every batch was handed over
    stopped,        // the batch handler said to stop
    folderFailed,   // the folder cannot be examined or read; the account goes on
    messageFailed,  // the server cannot deliver message nUid; the account goes on
    renumbered,     // the folder's UIDVALIDITY changed while it was read
    accountFailed,  // the connection failed twice in a row, or cannot be opened again
  };
  Kind kind = Kind::done;
  std::string strReason;
  uint32_t nUid = 0;  // with messageFailed
};

class AccountConnection {
public:
  // The password is kept (in its cleared page) for opening again.
  AccountConnection(AccountUrl url, ConnectOptions options, Secret password);
  AccountConnection(const AccountConnection&) = delete;
  AccountConnection& operator=(const AccountConnection&) = delete;

  // Connects and logs in. False with *error: the reason for
  // `Mail server not reached:`.
  [[nodiscard]] bool Open(std::string* error);
  ImapSession& Session() { return m_session; }

  // Called with each batch of a folder, in UID order; false stops the read.
  using BatchHandler = std::function<bool(const FolderStatus&, std::vector<FetchedMessage>&&)>;
  // Examines folder and fetches what request asks for of every message.
  // After a drop the folder is examined again; with the same UIDVALIDITY the
  // read goes on from the batch that failed, messages another client
  // removed meanwhile simply missing. A batch the server refuses is asked
  // for again one message at a time, which names the message it cannot
  // deliver (or gets the batch after all).
  ReadOutcome ReadFolder(const FolderInfo& folder, const FetchRequest& request, const BatchHandler& onBatch);

  // Times the connection was opened again (for the log).
  int Reconnects() const { return m_nReconnects; }

private:
  // Runs step; when it fails because the connection dropped and the last
  // step did not, opens again (examining strFolder when given, which must
  // keep nUidValidity) and runs it once more.
  ReadOutcome Attempt(const std::function<bool(std::string*)>& step, const std::string& strFolder,
                      uint32_t nUidValidity);

  // The set fetched UID by UID into *batch: done, or which one failed.
  ReadOutcome OneByOne(const UidSet& set, const FetchRequest& request, std::vector<FetchedMessage>* batch);

  AccountUrl m_url;
  ConnectOptions m_options;
  Secret m_password;
  ImapSession m_session;
  bool m_bLastFailed = false;  // the step before failed with a dropped connection
  int m_nReconnects = 0;
};

}  // namespace mailio::imap
