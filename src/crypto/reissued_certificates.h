// Re-issued certificates: some certificates of the product's hierarchy were issued again with the
// same issuer, serial number and key under a new subject name. Certificates issued under either name
// must chain to either certificate.
//
// The pairs come from the deployment, in a table file: one pair a line, the two certificates' DER as
// Base64 texts separated by white space; blank lines and lines beginning with "#" are passed over.
// The process-wide table starts empty; loading a file replaces its pairs as a whole (a bad file
// changes nothing). Subject names of one pair are equivalent (NamesEquivalent).
//
// Chain verifications that must tolerate re-issues install InstallReissuedCertificateChecks on their
// store: the store then finds an issuer under the other name of its pair (FindCompatibleIssuer) and
// accepts it as the issuer (CheckIssuedCompatible). OpenSSL's own ordering of the store's objects is
// left alone: its sorted look-ups rely on it. Only the name match is relaxed; the certificate's
// signature is still verified against the issuer's key.
//
// Thread-safe: the table is read under a shared lock and replaced under an exclusive one.
#pragma once

#include <openssl/x509_vfy.h>

#include <shared_mutex>
#include <string_view>
#include <vector>

#include "crypto/auto_openssl_object.h"
#include "base/exceptions.h"
#include "base/file_location.h"

// A table file line that does not hold two certificates; the message names the line.
class BadReissuedCertificateTable : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

struct ReissuedCertificatePair {
    X509Holder first;
    X509Holder second;
};

class ReissuedCertificateTable {
  public:
    void Replace(std::vector<ReissuedCertificatePair> pairs);
    std::size_t Size() const;
    // Whether one pair holds a certificate whose subject equals a and one whose subject equals b
    // (CompareNamesIgnoringPrefixedEntries).
    bool NamesArePaired(const X509_NAME* a, const X509_NAME* b) const;

  private:
    mutable std::shared_mutex m_lock;
    std::vector<ReissuedCertificatePair> m_pairs;
};

ReissuedCertificateTable& GetReissuedCertificateTable();

// The certificate of a Base64 text of its DER; CreateX509Failed when it is none.
X509Holder DecodeBuiltInCertificate(std::string_view base64);
// The pairs of a table file's text; BadReissuedCertificateTable for a malformed line.
std::vector<ReissuedCertificatePair> ParseReissuedCertificatePairs(std::string_view text);
// Replaces the table's pairs with the file's; file errors and BadReissuedCertificateTable leave the
// table as it was.
void LoadReissuedCertificateTable(const FileLocation& location, ReissuedCertificateTable& table);

// 0 when the names are paired in the process-wide table, else CompareNamesIgnoringPrefixedEntries.
int NamesEquivalent(const X509_NAME* a, const X509_NAME* b);

// A store context's issuer check: 1 when the issuer issued the certificate, its subject name standing
// for the certificate's issuer name when the two are equivalent; else 0 (also on any failure).
int CheckIssuedCompatible(X509_STORE_CTX* context, X509* certificate, X509* issuer);
// A store context's issuer look-up: OpenSSL's own by name first, then any store certificate whose
// subject is equivalent to the certificate's issuer and that passes the context's issuer check.
// 1 with a counted issuer, 0 when none, -1 on a library failure.
int FindCompatibleIssuer(X509** issuer, X509_STORE_CTX* context, X509* certificate);
// Installs the two on the store, for every context initialised on it from then on.
void InstallReissuedCertificateChecks(X509_STORE* store);
