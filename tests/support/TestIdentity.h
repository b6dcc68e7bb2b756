#pragma once

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace lurvik::test {

// A throwaway PKI for TLS tests, made fresh for each run so no key or certificate lives in the tree.
struct Identity {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, EVP_PKEY_free};
    std::unique_ptr<X509, decltype(&X509_free)> cert{nullptr, X509_free};
};

// A P-256 key and a certificate for commonName, valid from an hour ago for a day. subjectAltNames
// ("DNS:localhost,IP:127.0.0.1") makes a server certificate, null a CA; issuer null: self-signed.
Identity makeIdentity(const char* commonName, const char* subjectAltNames, const Identity* issuer);
// A server context presenting identity; the caller frees it.
SSL_CTX* makeServerContext(const Identity& identity);
// Writes cert as PEM to path; 0 on success.
int writeCertificate(const Identity& identity, const std::string& path);

} // namespace lurvik::test
