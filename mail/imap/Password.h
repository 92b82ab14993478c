// Passwords for mail accounts: where they come from, and the memory they are
// held in. A password is never passed on a command line, written to a file
// or log, or kept longer than the login that needs it.
//
// Secret: one thread at a time. The functions are thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "mail/imap/AccountUrl.h"

namespace mailio::imap {

// A password in a page of its own: locked in memory where the system allows
// it (so it is not swapped out), left out of core dumps, and overwritten with
// zeros when the Secret goes. Move only.
class Secret {
public:
  static constexpr size_t kCapacity = 4095;  // bytes of text at most
  Secret();
  ~Secret();
  Secret(Secret&& other) noexcept;
  Secret& operator=(Secret&& other) noexcept;
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;

  std::string_view View() const { return {m_pText ? m_pText : "", m_nLength}; }
  bool Empty() const { return m_nLength == 0; }
  // Appends bytes; false (and nothing appended) past kCapacity.
  [[nodiscard]] bool Append(std::string_view bytes);
  // Keeps the first n bytes; the rest is overwritten.
  void Truncate(size_t n);
  void Clear();

private:
  void Release();
  char* m_pText = nullptr;  // owned: an mmap'd page, NUL-terminated
  size_t m_nLength = 0;
};

// Runs command with `sh -c` (standard input and error are this process's,
// so a command may ask on the terminal) and takes the first line of its
// standard output without the line end. nullopt with *error when the
// command cannot be run, exits non-zero or by a signal, gives no output or
// an empty first line, or a line longer than Secret::kCapacity. The output
// passes only through cleared buffers.
[[nodiscard]] std::optional<Secret> PasswordFromCommand(const std::string& command, std::string* error);

// Asks on the controlling terminal with echo off, when standard input is a
// terminal: prompt, then one line. nullopt with *error otherwise.
[[nodiscard]] std::optional<Secret> PasswordFromTerminal(const std::string& prompt, std::string* error);

// The password of an account from the first source that has one: the
// command when one is given (its failure refuses the account), else the
// terminal when bTerminal (standard input is one). nullopt with *reason
// otherwise, "no password" when there was no source to ask.
[[nodiscard]] std::optional<Secret> AccountPassword(const AccountUrl& url, const std::string& command, bool bTerminal,
                                                    std::string* reason);

}  // namespace mailio::imap
