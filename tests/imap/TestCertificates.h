// Certificates made for one test with OpenSSL: a test CA, and server
// certificates signed by it or by themselves, valid for chosen names or
// addresses, in or out of their validity period. EC P-256 keys, so making
// one takes a millisecond.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace imaptest {

struct CertificateShape {
  std::string strCommonName = "localhost";
  std::vector<std::string> dnsNames = {"localhost"};
  std::vector<std::string> ipAddresses = {"127.0.0.1"};
  long nNotBeforeSecs = -3600;   // from now
  long nNotAfterSecs = 86400;    // from now; negative: expired
  bool bCa = false;
};

// A certificate and its key. Owns OpenSSL objects; move only.
class TestCertificate {
public:
  // Self-signed when issuer is null.
  static TestCertificate Make(const CertificateShape& shape, const TestCertificate* issuer);
  TestCertificate(TestCertificate&&) noexcept;
  TestCertificate& operator=(TestCertificate&&) noexcept;
  ~TestCertificate();
  std::string CertificatePem() const;
  std::string KeyPem() const;
  std::string Der() const;
  // Writes CertificatePem() to certPath and KeyPem() to keyPath.
  void Write(const std::filesystem::path& certPath, const std::filesystem::path& keyPath) const;

private:
  TestCertificate();
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace imaptest
