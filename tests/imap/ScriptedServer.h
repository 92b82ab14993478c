// A scripted IMAP server on loopback for what a real Dovecot does not do: an
// old server without UIDPLUS or MOVE, Gmail's extensions, a connection that
// drops at a chosen command. It plays a recorded exchange to one client at a
// time, on a thread of its own, and records every line the client sent.
//
// Thread rules: build the script, Start(), let the client talk, then read
// Received() after Stop() (or the destructor) has joined the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace imaptest {

struct ScriptStep {
  // The script runs across connections: a client that connects again gets
  // the greeting and the steps after the last one played.
  // The command the client must send next, after its tag: a prefix such as
  // "LOGIN" or "UID FETCH", compared without regard to case.
  std::string strCommand;
  // Lines sent back (CRLF added); "TAG" at the start of a line stands for
  // the client's tag. Empty with bClose: the connection drops unanswered.
  std::vector<std::string> replies;
  bool bClose = false;
};

class ScriptedServer {
public:
  // greeting: the first line, e.g. "* OK [CAPABILITY IMAP4rev1] ready".
  // Commands the script does not expect get "TAG BAD unexpected" and are
  // recorded as well.
  ScriptedServer(std::string greeting, std::vector<ScriptStep> steps);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  [[nodiscard]] bool Start(std::string* error);
  void Stop();
  uint16_t Port() const { return m_nPort; }
  // Each command line as the client sent it (without CRLF; a literal's
  // bytes follow its line in the same entry).
  std::vector<std::string> Received() const;

private:
  void Serve();
  void Talk(int fd);

  std::string m_strGreeting;
  std::vector<ScriptStep> m_steps;
  size_t m_nNext = 0;  // the next step to play; only the server thread uses it
  int m_listener = -1;  // owned
  uint16_t m_nPort = 0;
  std::atomic_bool m_bStop{false};
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_received;  // guarded by m_mutex
};

}  // namespace imaptest
