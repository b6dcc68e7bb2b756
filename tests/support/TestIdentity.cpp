#include "TestIdentity.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace lurvik::test {

namespace {

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return;
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

} // namespace

Identity makeIdentity(const char* commonName, const char* subjectAltNames, const Identity* issuer) {
    static long serial = 1;
    Identity made;
    made.key.reset(EVP_EC_gen("P-256"));
    made.cert.reset(X509_new());
    X509* cert = made.cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, made.key.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509* issuerCert = issuer ? issuer->cert.get() : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
    addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
    if (subjectAltNames) {
        addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, issuerCert, NID_ext_key_usage, "serverAuth");
        addExtension(cert, issuerCert, NID_subject_alt_name, subjectAltNames);
    } else {
        addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    if (issuer)
        addExtension(cert, issuerCert, NID_authority_key_identifier, "keyid:always");
    X509_sign(cert, issuer ? issuer->key.get() : made.key.get(), EVP_sha256());
    return made;
}

SSL_CTX* makeServerContext(const Identity& identity) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, identity.cert.get());
    SSL_CTX_use_PrivateKey(context, identity.key.get());
    return context;
}

int writeCertificate(const Identity& identity, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return 1;
    const bool written = PEM_write_X509(file, identity.cert.get()) == 1;
    return std::fclose(file) == 0 && written ? 0 : 1;
}

} // namespace lurvik::test
