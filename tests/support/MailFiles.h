// Mail sources for tests: plain messages, an mbox of them, a maildir with
// Maildir++ sub folders. Each message's bytes are known, so a test can say
// which of them a run must leave.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testsupport {

inline std::string MailMessage(const std::string& subject, const std::string& body, int nId) {
  return "From: Ada Example <ada@example.org>\nTo: bob@example.org\nSubject: " + subject +
         "\nDate: Mon, 4 Jan 2021 10:00:00 +0000\nMessage-ID: <" + std::to_string(nId) +
         "@example.org>\n\n" + body + "\n";
}

// One mbox entry: the From_ line, the message, the blank line before the next.
inline std::string MboxEntry(const std::string& message) {
  return "From ada@example.org Mon Jan  4 10:00:00 2021\n" + message + "\n";
}

inline void MakeMbox(const std::filesystem::path& path, const std::vector<std::string>& messages) {
  std::string bytes;
  for (const std::string& m : messages) bytes += MboxEntry(m);
  WriteFile(path, bytes);
}

// folders: "" for the maildir itself, ".Sent.2020" for a Maildir++ folder;
// each message goes to cur/ as 1000<n>.host:2,S in the order given.
inline void MakeMaildir(const std::filesystem::path& root,
                        const std::map<std::string, std::vector<std::string>>& folders) {
  int n = 0;
  for (const auto& [folder, messages] : folders) {
    const std::filesystem::path dir = folder.empty() ? root : root / folder;
    for (const char* sub : {"cur", "new", "tmp"}) std::filesystem::create_directories(dir / sub);
    for (const std::string& m : messages) WriteFile(dir / "cur" / ("1000" + std::to_string(++n) + ".host:2,S"), m);
  }
}

}  // namespace testsupport
