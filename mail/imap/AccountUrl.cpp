#include "mail/imap/AccountUrl.h"

#include <arpa/inet.h>
#include <cstring>

#include "platform/Text.h"

namespace mailio::imap {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes %XX escapes of one component; what stands for it must be UTF-8
// without control characters. nullopt with *error otherwise.
std::optional<std::string> DecodeComponent(std::string_view raw, const char* what, std::string* error) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '%') {
      out += raw[i];
      continue;
    }
    const int hi = i + 2 < raw.size() ? HexValue(raw[i + 1]) : -1;
    const int lo = i + 2 < raw.size() ? HexValue(raw[i + 2]) : -1;
    if (hi < 0 || lo < 0) {
      *error = std::string("a % in the ") + what + " is not followed by two hexadecimal digits";
      return std::nullopt;
    }
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  if (!platform::IsPlainUtf8(out)) {
    *error = std::string("the ") + what + " is not UTF-8";
    return std::nullopt;
  }
  for (unsigned char c : out) {
    if (c < 0x20 || c == 0x7f) {
      *error = std::string("the ") + what + " holds a control character";
      return std::nullopt;
    }
  }
  return out;
}

bool ValidHost(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    const std::string inner(host.substr(1, host.size() - 2));
    in6_addr addr{};
    return inet_pton(AF_INET6, inner.c_str(), &addr) == 1;
  }
  for (char c : host) {
    const bool bOk = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '-' || c == '_';
    if (!bOk) return false;
  }
  return true;
}

std::optional<uint16_t> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

}  // namespace

bool LooksLikeAccountUrl(std::string_view text) {
  return StartsWithNoCase(text, "imap://") || StartsWithNoCase(text, "imaps://");
}

std::optional<AccountUrl> ParseAccountUrl(std::string_view text, std::string* error) {
  AccountUrl url;
  size_t schemeLength = 0;
  if (StartsWithNoCase(text, "imaps://")) {
    schemeLength = 5;
  } else if (StartsWithNoCase(text, "imap://")) {
    schemeLength = 4;
    url.bTls = false;
    url.nPort = 143;
  } else {
    *error = "not an imap:// or imaps:// URL";
    return std::nullopt;
  }
  url.strScheme = std::string(text.substr(0, schemeLength));
  const std::string_view rest = text.substr(schemeLength + 3);
  if (rest.find_first_of("?#") != std::string_view::npos) {
    *error = "a ? or # in the URL must be written %3F or %23";
    return std::nullopt;
  }
  const size_t slash = rest.find('/');
  const std::string_view authority = rest.substr(0, slash);
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos || at == 0) {
    *error = "no user name before the host (USER@HOST)";
    return std::nullopt;
  }
  url.strUserRaw = std::string(authority.substr(0, at));
  if (url.strUserRaw.find('@') != std::string::npos) {
    *error = "an @ in the user name must be written %40";
    return std::nullopt;
  }
  if (url.strUserRaw.find(':') != std::string::npos) {
    *error = "a password is never given in the URL (a : in the user name is written %3A)";
    return std::nullopt;
  }
  std::optional<std::string> user = DecodeComponent(url.strUserRaw, "user name", error);
  if (!user) return std::nullopt;
  url.strUser = std::move(*user);

  std::string_view hostPort = authority.substr(at + 1);
  // The port follows the last colon outside an IPv6 address's brackets.
  const size_t bracket = hostPort.rfind(']');
  const size_t colon = hostPort.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    const std::optional<uint16_t> port = ParsePort(hostPort.substr(colon + 1));
    if (!port) {
      *error = "the port is not a number from 1 to 65535";
      return std::nullopt;
    }
    url.nPort = *port;
    url.bPortGiven = true;
    hostPort = hostPort.substr(0, colon);
  }
  if (!ValidHost(hostPort)) {
    *error = hostPort.empty() ? "no host" : "the host is not a host name or address";
    return std::nullopt;
  }
  url.strHost = std::string(hostPort);

  if (slash == std::string_view::npos) return url;
  std::string_view path = rest.substr(slash + 1);
  // One trailing `/` closes the folder as it closes the host.
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.empty()) return url;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view level = path.substr(start, end - start);
    if (level.empty()) {
      *error = "the folder has an empty level (//)";
      return std::nullopt;
    }
    std::optional<std::string> name = DecodeComponent(level, "folder", error);
    if (!name) return std::nullopt;
    url.folderLevels.push_back(std::move(*name));
    start = end + 1;
  }
  return url;
}

std::string AccountUrl::DisplayForm() const {
  std::string out = strScheme + "://" + strUserRaw + "@" + strHost;
  if (bPortGiven) out += ":" + std::to_string(nPort);
  return out + "/";
}

std::string AccountUrl::SecretStoreUrl() const {
  return ToLower(strScheme) + "://" + strUserRaw + "@" + strHost + ":" + std::to_string(nPort);
}

std::string AccountUrl::FileName() const { return strUserRaw + "@" + strHost; }

std::string AccountUrl::ConnectHost() const {
  if (!strHost.empty() && strHost.front() == '[') return strHost.substr(1, strHost.size() - 2);
  return strHost;
}

bool IsLoopbackHost(std::string_view host) {
  std::string name(host);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  std::string lower = ToLower(name);
  if (!lower.empty() && lower.back() == '.') lower.pop_back();
  if (lower == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, name.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) {
    static const unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (std::memcmp(v6.s6_addr, kLoopback, 16) == 0) return true;
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(v6.s6_addr, kMapped, 12) == 0 && v6.s6_addr[12] == 127;
  }
  return false;
}

std::string FolderDisplayName(const std::vector<std::string>& levels) {
  std::string out;
  for (size_t i = 0; i < levels.size(); ++i) {
    if (i) out += '\\';
    out += levels[i];
  }
  return out;
}

}  // namespace mailio::imap
