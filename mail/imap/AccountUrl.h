// An IMAP account named by a URL, imap://USER@HOST[:PORT]/[FOLDER] or
// imaps://..., and the names the program shows for it and its folders.
//
// USER and each level of FOLDER are percent-encoded UTF-8; a raw `/` in
// FOLDER separates levels whatever the server's own separator is. Values
// only; pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailio::imap {

struct AccountUrl {
  bool bTls = true;          // imaps: TLS from the start; imap: STARTTLS
  std::string strScheme;     // as given ("imaps", "IMAP", ...)
  std::string strUserRaw;    // as given, still percent-encoded
  std::string strUser;       // decoded UTF-8
  std::string strHost;       // as given; an IPv6 address keeps its brackets
  uint16_t nPort = 993;      // the given port, else 993 (imaps) or 143 (imap)
  bool bPortGiven = false;
  // Decoded UTF-8 levels of FOLDER, outermost first; empty for the whole
  // account.
  std::vector<std::string> folderLevels;

  bool WholeAccount() const { return folderLevels.empty(); }
  // The account as rows show it: the URL as given without its folder, always
  // ending in `/` (`imaps://ada@mail.example/`, `:PORT` kept when given).
  std::string DisplayForm() const;
  // The name the secret store files its password under: the port always
  // written, no folder, no trailing `/` (`imaps://ada@mail.example:993`).
  std::string SecretStoreUrl() const;
  // USER@HOST with USER still percent-encoded, so it never holds a `/`: the
  // name of the folder a new-files run makes for this account.
  std::string FileName() const;
  // The host to connect to: without an IPv6 address's brackets.
  std::string ConnectHost() const;
};

// Parses text; nullopt with *error (why, for a row) when it is no account
// URL this program accepts. Refused: another scheme, no user or no host, a
// password in the URL (it is never given on the command line), a bad
// percent escape, a user or folder that is not UTF-8 or holds a control
// character (those could end a command line to the server), a port outside
// 1..65535, an empty folder level, a query or fragment.
[[nodiscard]] std::optional<AccountUrl> ParseAccountUrl(std::string_view text, std::string* error);

// True when text starts with imap:// or imaps:// (any case): the argument
// names an account rather than a file.
bool LooksLikeAccountUrl(std::string_view text);

// True for a host that can only be this machine: `localhost` (any case, a
// trailing dot allowed), any address of 127.0.0.0/8, `::1` (bracketed or
// not) and an IPv4-mapped 127.0.0.0/8 address.
bool IsLoopbackHost(std::string_view host);

// A folder as rows show it: its levels with `\` between them (`Archive\2019`).
std::string FolderDisplayName(const std::vector<std::string>& levels);

}  // namespace mailio::imap
