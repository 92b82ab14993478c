// TCP connections for the IMAP client, with a bounded wait. Thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace mailio::imap {

// Connects to host:port (a name or an address, IPv4 or IPv6), trying each
// address in turn, each within timeoutMs. bLoopbackOnly: addresses outside
// 127.0.0.0/8 and ::1 are not tried, so a plain connection never leaves the
// machine. The blocking descriptor (the caller owns it), or -1 with *error.
[[nodiscard]] int ConnectTcp(const std::string& host, uint16_t port, int timeoutMs, bool bLoopbackOnly,
                             std::string* error);

}  // namespace mailio::imap
