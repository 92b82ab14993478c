#include "mail/imap/CertificateCheck.h"

#include <cstdlib>
#include <fstream>
#include <memory>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>


namespace mailio::imap {

namespace {

struct X509Free {
  void operator()(X509* p) const { X509_free(p); }
};
struct StoreFree {
  void operator()(X509_STORE* p) const { X509_STORE_free(p); }
};
struct StoreCtxFree {
  void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
};
struct StackFree {
  void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr ParseDer(const std::string& der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  if (cert && p != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) {
    X509_free(cert);
    return nullptr;
  }
  return X509Ptr(cert);
}

std::string Unbracketed(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

std::string Lowercase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// True when the fingerprints file lists fingerprint for host:port. Lines
// that do not parse are ignored; so is a missing file.
bool ListedFingerprint(const std::filesystem::path& file, const std::string& host, uint16_t port,
                       const std::string& fingerprint) {
  if (file.empty()) return false;
  std::ifstream in(file);
  const std::string bare = Lowercase(Unbracketed(host));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find_first_of(" \t");
    if (space == std::string::npos) continue;
    const std::string hostPort = line.substr(0, space);
    const size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos || hostPort.substr(colon + 1) != std::to_string(port)) continue;
    if (Lowercase(Unbracketed(hostPort.substr(0, colon))) != bare) continue;
    std::string hex;
    for (char c : line.substr(space + 1)) {
      if (c != ' ' && c != '\t' && c != ':') hex += c;
    }
    if (Lowercase(hex) == fingerprint) return true;
  }
  return false;
}

std::string ReasonFor(int error, const std::string& host) {
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "certificate expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "certificate not yet valid";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "certificate not valid for " + host;
    default:
      return std::string("certificate not trusted (") + X509_verify_cert_error_string(error) + ")";
  }
}

}  // namespace

std::filesystem::path DefaultFingerprintsFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (config && *config) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home ? home : "") / ".config";
  }
  return base / "tarnwick" / "trusted-certificates";
}

std::string CertificateFingerprint(const std::string& der) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(der.data(), der.size(), digest, &length, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < length; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

bool VerifyServerCertificate(const std::vector<std::string>& chainDer, const std::string& host, uint16_t port,
                             const TrustSettings& trust, std::string* reason) {
  if (chainDer.empty()) {
    *reason = "the server sent no certificate";
    return false;
  }
  if (ListedFingerprint(trust.fingerprintsFile, host, port, CertificateFingerprint(chainDer.front()))) return true;

  X509Ptr leaf = ParseDer(chainDer.front());
  std::unique_ptr<STACK_OF(X509), StackFree> untrusted(sk_X509_new_null());
  std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
  std::unique_ptr<X509_STORE_CTX, StoreCtxFree> ctx(X509_STORE_CTX_new());
  if (!leaf || !untrusted || !store || !ctx) {
    *reason = "the server's certificate cannot be read";
    return false;
  }
  for (size_t i = 1; i < chainDer.size(); ++i) {
    X509Ptr cert = ParseDer(chainDer[i]);
    if (!cert) {
      *reason = "the server's certificate chain cannot be read";
      return false;
    }
    if (sk_X509_push(untrusted.get(), cert.get()) == 0) {
      *reason = "out of memory";
      return false;
    }
    cert.release();  // the stack owns it now
  }
  if (trust.bSystemStore) X509_STORE_set_default_paths(store.get());
  if (!trust.caFile.empty() && X509_STORE_load_file(store.get(), trust.caFile.c_str()) != 1) {
    *reason = "the CA file " + trust.caFile.string() + " cannot be read";
    return false;
  }
  if (X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get()) != 1) {
    *reason = "out of memory";
    return false;
  }
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
  X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
  const std::string bare = Unbracketed(host);
  // An address is matched against the certificate's IP entries, a name
  // against its DNS entries (wildcards only as a whole left-most label).
  if (X509_VERIFY_PARAM_set1_ip_asc(param, bare.c_str()) != 1) {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (X509_VERIFY_PARAM_set1_host(param, bare.c_str(), bare.size()) != 1) {
      *reason = "certificate not valid for " + host;
      return false;
    }
  }
  if (X509_verify_cert(ctx.get()) == 1) return true;
  *reason = ReasonFor(X509_STORE_CTX_get_error(ctx.get()), host);
  return false;
}

}  // namespace mailio::imap
