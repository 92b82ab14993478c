#include "tests/imap/TestCertificates.h"

#include <stdexcept>

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "tests/support/TestSupport.h"

namespace imaptest {

struct TestCertificate::Impl {
  EVP_PKEY* key = nullptr;  // owned
  X509* cert = nullptr;     // owned
  ~Impl() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
};

namespace {

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(length));
  BIO_free(bio);
  return out;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) throw std::runtime_error("bad certificate extension " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

}  // namespace

TestCertificate::TestCertificate() : m_impl(std::make_unique<Impl>()) {}
TestCertificate::TestCertificate(TestCertificate&&) noexcept = default;
TestCertificate& TestCertificate::operator=(TestCertificate&&) noexcept = default;
TestCertificate::~TestCertificate() = default;

TestCertificate TestCertificate::Make(const CertificateShape& shape, const TestCertificate* issuer) {
  TestCertificate out;
  out.m_impl->key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  out.m_impl->cert = cert;
  if (!out.m_impl->key || !cert) throw std::runtime_error("OpenSSL cannot make a key");
  static long serial = 1;
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
  X509_gmtime_adj(X509_getm_notBefore(cert), shape.nNotBeforeSecs);
  X509_gmtime_adj(X509_getm_notAfter(cert), shape.nNotAfterSecs);
  X509_set_pubkey(cert, out.m_impl->key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(shape.strCommonName.c_str()), -1, -1, 0);
  X509* issuerCert = issuer ? issuer->m_impl->cert : cert;
  X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
  AddExtension(cert, issuerCert, NID_basic_constraints, shape.bCa ? "critical,CA:TRUE" : "critical,CA:FALSE");
  AddExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
  if (shape.bCa) {
    AddExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert, issuerCert, NID_ext_key_usage, "serverAuth");
  }
  std::string san;
  for (const std::string& dns : shape.dnsNames) san += (san.empty() ? "DNS:" : ",DNS:") + dns;
  for (const std::string& ip : shape.ipAddresses) san += (san.empty() ? "IP:" : ",IP:") + ip;
  if (!san.empty()) AddExtension(cert, issuerCert, NID_subject_alt_name, san);
  EVP_PKEY* signer = issuer ? issuer->m_impl->key : out.m_impl->key;
  if (X509_sign(cert, signer, EVP_sha256()) == 0) throw std::runtime_error("OpenSSL cannot sign");
  return out;
}

std::string TestCertificate::CertificatePem() const {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, m_impl->cert);
  return BioText(bio);
}

std::string TestCertificate::KeyPem() const {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, m_impl->key, nullptr, nullptr, 0, nullptr, nullptr);
  return BioText(bio);
}

std::string TestCertificate::Der() const {
  unsigned char* data = nullptr;
  const int length = i2d_X509(m_impl->cert, &data);
  std::string out(reinterpret_cast<char*>(data), static_cast<size_t>(length));
  OPENSSL_free(data);
  return out;
}

void TestCertificate::Write(const std::filesystem::path& certPath, const std::filesystem::path& keyPath) const {
  testsupport::WriteFile(certPath, CertificatePem());
  testsupport::WriteFile(keyPath, KeyPem());
}

}  // namespace imaptest
