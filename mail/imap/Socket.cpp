#include "mail/imap/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mailio::imap {

namespace {

bool IsLoopbackAddress(const sockaddr* addr) {
  if (addr->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(addr);
    return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
  }
  if (addr->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(addr);
    if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
  }
  return false;
}

// One address: a non-blocking connect waited for with poll, then blocking
// again for libetpan. -1 with errno.
int ConnectOne(const addrinfo* ai, int timeoutMs) {
  const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
  if (fd < 0) return -1;
  if (connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      const int saved = errno;
      close(fd);
      errno = saved;
      return -1;
    }
    pollfd pfd{fd, POLLOUT, 0};
    int r = 0;
    do {
      r = poll(&pfd, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    int soError = 0;
    socklen_t length = sizeof soError;
    if (r == 0) soError = ETIMEDOUT;
    if (r < 0) soError = errno;
    if (r > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
    if (soError != 0) {
      close(fd);
      errno = soError;
      return -1;
    }
  }
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

}  // namespace

int ConnectTcp(const std::string& host, uint16_t port, int timeoutMs, bool bLoopbackOnly, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    *error = std::string("the host name cannot be resolved (") + gai_strerror(rc) + ")";
    return -1;
  }
  int lastErrno = 0;
  bool bTried = false;
  int fd = -1;
  for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
    if (bLoopbackOnly && !IsLoopbackAddress(ai->ai_addr)) continue;
    bTried = true;
    fd = ConnectOne(ai, timeoutMs);
    if (fd < 0) lastErrno = errno;
  }
  freeaddrinfo(list);
  if (fd >= 0) return fd;
  if (!bTried) {
    *error = "the host is not on this machine, and a connection without TLS stays on it";
  } else {
    *error = std::string("cannot connect (") + std::strerror(lastErrno) + ")";
  }
  return -1;
}

}  // namespace mailio::imap
