#include "tests/imap/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace imaptest {

namespace {

bool SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads one line up to CRLF into *line (without it); false at the end.
bool ReadLine(int fd, std::string* buffered, std::string* line) {
  while (true) {
    const size_t end = buffered->find("\r\n");
    if (end != std::string::npos) {
      *line = buffered->substr(0, end);
      buffered->erase(0, end + 2);
      return true;
    }
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 10000) <= 0) return false;
    char chunk[4096];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffered->append(chunk, static_cast<size_t>(n));
  }
}

// A line ending in {N} or {N+} announces N bytes of literal to follow.
long LiteralLength(const std::string& line, bool* bNonSync) {
  if (line.empty() || line.back() != '}') return -1;
  const size_t open = line.rfind('{');
  if (open == std::string::npos) return -1;
  std::string digits = line.substr(open + 1, line.size() - open - 2);
  *bNonSync = !digits.empty() && digits.back() == '+';
  if (*bNonSync) digits.pop_back();
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::strtol(digits.c_str(), nullptr, 10);
}

}  // namespace

ScriptedServer::ScriptedServer(std::string greeting, std::vector<ScriptStep> steps)
    : m_strGreeting(std::move(greeting)), m_steps(std::move(steps)) {}

ScriptedServer::~ScriptedServer() { Stop(); }

bool ScriptedServer::Start(std::string* error) {
  m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(m_listener, 4) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    *error = "cannot listen on loopback";
    return false;
  }
  m_nPort = ntohs(addr.sin_port);
  m_thread = std::thread([this] { Serve(); });
  return true;
}

void ScriptedServer::Stop() {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_listener >= 0) close(m_listener);
  m_listener = -1;
}

std::vector<std::string> ScriptedServer::Received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void ScriptedServer::Serve() {
  // One client, then the next, until stopped.
  while (!m_bStop) {
    pollfd pfd{m_listener, POLLIN, 0};
    if (poll(&pfd, 1, 20) <= 0) continue;
    const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Talk(fd);
    close(fd);
  }
}

void ScriptedServer::Talk(int fd) {
  if (!SendAll(fd, m_strGreeting + "\r\n")) return;
  std::string buffered;
  std::string line;
  while (!m_bStop && ReadLine(fd, &buffered, &line)) {
    std::string command = line;
    bool bNonSync = false;
    for (long n = LiteralLength(line, &bNonSync); n >= 0; n = LiteralLength(line, &bNonSync)) {
      if (!bNonSync && !SendAll(fd, "+ go ahead\r\n")) return;
      while (buffered.size() < static_cast<size_t>(n)) {
        char chunk[4096];
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) return;
        buffered.append(chunk, static_cast<size_t>(got));
      }
      command += "\r\n" + buffered.substr(0, static_cast<size_t>(n));
      buffered.erase(0, static_cast<size_t>(n));
      if (!ReadLine(fd, &buffered, &line)) return;
      command += line;
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_received.push_back(command);
    }
    const size_t space = command.find(' ');
    const std::string tag = command.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : command.substr(space + 1);
    if (m_nNext >= m_steps.size() ||
        strncasecmp(rest.c_str(), m_steps[m_nNext].strCommand.c_str(), m_steps[m_nNext].strCommand.size()) != 0) {
      if (!SendAll(fd, tag + " BAD unexpected\r\n")) return;
      continue;
    }
    const ScriptStep& step = m_steps[m_nNext++];
    // One write per answer: line by line, Nagle's rule and the client's
    // delayed acknowledgement would cost 40 ms a step.
    std::string out;
    for (const std::string& reply : step.replies) {
      out += (reply.rfind("TAG", 0) == 0 ? tag + reply.substr(3) : reply) + "\r\n";
    }
    if (!out.empty() && !SendAll(fd, out)) return;
    if (step.bClose) return;
  }
}

}  // namespace imaptest
