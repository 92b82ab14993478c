#include "mail/imap/AccountConnection.h"

namespace mailio::imap {

AccountConnection::AccountConnection(AccountUrl url, ConnectOptions options, Secret password)
    : m_url(std::move(url)), m_options(std::move(options)), m_password(std::move(password)) {}

bool AccountConnection::Open(std::string* error) {
  return m_session.Connect(m_url, m_options, error) && m_session.Login(m_password.View(), error);
}

ReadOutcome AccountConnection::Attempt(const std::function<bool(std::string*)>& step, const std::string& strFolder,
                                       uint32_t nUidValidity) {
  std::string reason;
  if (step(&reason)) {
    m_bLastFailed = false;
    return {};
  }
  if (m_session.IsConnected()) return {ReadOutcome::Kind::folderFailed, reason};
  if (m_bLastFailed) return {ReadOutcome::Kind::accountFailed, reason};
  m_bLastFailed = true;
  ++m_nReconnects;
  std::string openError;
  if (!Open(&openError)) return {ReadOutcome::Kind::accountFailed, reason + "; opened again: " + openError};
  if (!strFolder.empty()) {
    FolderStatus status;
    if (!m_session.Examine(strFolder, &status, &openError)) {
      return {m_session.IsConnected() ? ReadOutcome::Kind::folderFailed : ReadOutcome::Kind::accountFailed, openError};
    }
    if (status.nUidValidity != nUidValidity) return {ReadOutcome::Kind::renumbered, "the server renumbered its messages"};
  }
  if (step(&reason)) {
    m_bLastFailed = false;
    return {};
  }
  return {m_session.IsConnected() ? ReadOutcome::Kind::folderFailed : ReadOutcome::Kind::accountFailed, reason};
}

ReadOutcome AccountConnection::OneByOne(const UidSet& set, const FetchRequest& request,
                                        std::vector<FetchedMessage>* batch) {
  batch->clear();
  for (const UidRange& range : set.ranges) {
    for (uint64_t uid = range.first; uid <= range.last; ++uid) {
      const uint32_t one = static_cast<uint32_t>(uid);
      std::string reason;
      if (!m_session.Fetch(UidSet{{{one, one}}}, request, batch, &reason)) {
        if (!m_session.IsConnected()) return {ReadOutcome::Kind::accountFailed, reason};
        return {ReadOutcome::Kind::messageFailed, reason, one};
      }
    }
  }
  return {};
}

ReadOutcome AccountConnection::ReadFolder(const FolderInfo& folder, const FetchRequest& request,
                                          const BatchHandler& onBatch) {
  FolderStatus status;
  ReadOutcome outcome =
      Attempt([&](std::string* e) { return m_session.Examine(folder.strServerName, &status, e); }, {}, 0);
  if (outcome.kind != ReadOutcome::Kind::done) return outcome;
  std::vector<uint32_t> uids;
  outcome = Attempt([&](std::string* e) { return m_session.AllUids(&uids, e); }, folder.strServerName,
                    status.nUidValidity);
  if (outcome.kind != ReadOutcome::Kind::done) return outcome;
  for (const UidSet& set : SplitUidSets(std::move(uids))) {
    std::vector<FetchedMessage> batch;
    outcome = Attempt(
        [&](std::string* e) {
          batch.clear();
          return m_session.Fetch(set, request, &batch, e);
        },
        folder.strServerName, status.nUidValidity);
    if (outcome.kind == ReadOutcome::Kind::folderFailed) outcome = OneByOne(set, request, &batch);
    if (outcome.kind != ReadOutcome::Kind::done) return outcome;
    if (!onBatch(status, std::move(batch))) return {ReadOutcome::Kind::stopped, {}};
  }
  return {};
}

}  // namespace mailio::imap
