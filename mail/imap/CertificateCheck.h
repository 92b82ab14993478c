// The check of a server's certificate, made by this program before any
// password goes to the server: libetpan hands over the chain the server sent
// and verifies nothing itself.
//
// A chain is accepted when the SHA-256 fingerprint of its first certificate
// is listed for HOST:PORT in the trusted-fingerprints file (the user said to
// trust exactly that certificate), or when OpenSSL verifies the chain to a
// root of the system's store or of the CA file, now, for the host name or
// address. Pure function of its inputs and the files it reads; thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mailio::imap {

struct TrustSettings {
  std::filesystem::path caFile;               // --ca-file; empty for none
  std::filesystem::path fingerprintsFile;     // `HOST:PORT SHA256-HEX` lines; may be missing
  bool bSystemStore = true;                   // the system's default roots
};

// $XDG_CONFIG_HOME/tarnwick/trusted-certificates ($HOME/.config/... without
// XDG_CONFIG_HOME).
std::filesystem::path DefaultFingerprintsFile();

// chainDer: the server's certificates, DER, its own first. host: as the URL
// gives it (an IPv6 address with or without brackets). True when trusted;
// false with *reason (for a row: "certificate expired", "certificate not
// valid for HOST", "certificate not trusted (...)", ...) otherwise.
[[nodiscard]] bool VerifyServerCertificate(const std::vector<std::string>& chainDer, const std::string& host,
                                           uint16_t port, const TrustSettings& trust, std::string* reason);

// Lowercase hexadecimal SHA-256 of one DER certificate.
std::string CertificateFingerprint(const std::string& der);

}  // namespace mailio::imap
