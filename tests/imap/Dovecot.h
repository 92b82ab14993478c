// A real Dovecot for one test: a process of the test's own, configured in
// the test's folder (its base_dir, state_dir and log there), listening on
// 127.0.0.1 only, on free ports: one without TLS (STARTTLS offered when a
// certificate is given) and one with TLS from the start. One passwd-file
// user; maildir storage the test lays out before Start(). Never the
// machine's service: nothing of /etc/dovecot is read.
//
// Run as root, Dovecot's login and internal processes and the mail user are
// `nobody` (Dovecot runs neither login nor mail processes as root), so the
// fixture hands the mail folder to that user; otherwise everything runs as
// the user of the test. Not thread-safe; one test thread drives it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imaptest {

class Dovecot {
public:
  // dir: a folder directly in the test's temporary folder (made when
  // missing; run as root, the two are opened to others for traversal). The certificate and
  // key (PEM files) serve both STARTTLS and the TLS port; without them the
  // server offers no TLS at all (ssl = no) and TlsPort() is 0.
  Dovecot(const std::filesystem::path& dir, std::filesystem::path certFile = {},
          std::filesystem::path keyFile = {});
  ~Dovecot();  // stops the server
  Dovecot(const Dovecot&) = delete;
  Dovecot& operator=(const Dovecot&) = delete;

  static constexpr const char* kUser = "ada";
  static constexpr const char* kPassword = "s3cret pass";

  // Lays out a message before Start(): folder "" is INBOX, else the
  // server's name of a folder with `.` between levels, in modified UTF-7.
  // flags: maildir letters ("S" seen, "F" flagged, "T" deleted, "R", "D").
  void AddMessage(const std::string& folder, const std::string& bytes, const std::string& flags = "");
  // Makes an empty folder before Start().
  void AddFolder(const std::string& folder);

  // Starts the server and waits until both ports take connections. False
  // with the reason and the server's log when it does not come up.
  [[nodiscard]] bool Start(std::string* error);
  void Stop();

  uint16_t PlainPort() const { return m_nPlainPort; }
  uint16_t TlsPort() const { return m_nTlsPort; }
  std::string Log() const;
  // Flags of every message of folder, from the maildir's file names, sorted.
  std::vector<std::string> MaildirFlags(const std::string& folder) const;

private:
  std::filesystem::path FolderPath(const std::string& folder) const;
  void WriteConfig() const;

  std::filesystem::path m_dir;
  std::filesystem::path m_certFile;
  std::filesystem::path m_keyFile;
  uint16_t m_nPlainPort = 0;
  uint16_t m_nTlsPort = 0;
  pid_t m_pid = -1;  // the master process, leader of its own process group
  int m_nMessages = 0;
};

}  // namespace imaptest
