#include "crypto/reissued_certificates.h"

#include <mutex>
#include <string>

#include "crypto/certificates.h"
#include "crypto/name_comparison.h"
#include "base/character_classes.h"
#include "formats/base64_codec.h"
#include "foundation/whole_file.h"

namespace {

std::vector<std::string_view> SplitAtWhitespace(std::string_view line) {
    std::vector<std::string_view> words;
    const CharacterClass& space = Ascii::Whitespace();
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && space.Contains(static_cast<unsigned char>(line[at]))) ++at;
        std::size_t start = at;
        while (at < line.size() && !space.Contains(static_cast<unsigned char>(line[at]))) ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

[[noreturn]] void ThrowBadLine(std::size_t lineNumber, const char* problem) {
    throw BadReissuedCertificateTable("Re-issued certificate table line " + std::to_string(lineNumber) + ": " +
                                      problem);
}

// A re-issue keeps the issuer, the serial number and the key; only then may the two names stand for
// each other.
bool IsReissueOf(X509* first, X509* second) {
    return X509_NAME_cmp(X509_get_issuer_name(first), X509_get_issuer_name(second)) == 0 &&
           ASN1_INTEGER_cmp(X509_get0_serialNumber(first), X509_get0_serialNumber(second)) == 0 &&
           X509_get0_pubkey(first) && EVP_PKEY_eq(X509_get0_pubkey(first), X509_get0_pubkey(second)) == 1;
}

ReissuedCertificatePair ParsePairLine(std::string_view line, std::size_t lineNumber) {
    std::vector<std::string_view> words = SplitAtWhitespace(line);
    if (words.size() != 2) ThrowBadLine(lineNumber, "expected two Base64 certificates");
    ReissuedCertificatePair pair;
    try {
        pair.first = DecodeBuiltInCertificate(words[0]);
        pair.second = DecodeBuiltInCertificate(words[1]);
    } catch (const CreateX509Failed&) {
        ThrowBadLine(lineNumber, "not a certificate");
    }
    if (!IsReissueOf(pair.first.Get(), pair.second.Get()))
        ThrowBadLine(lineNumber, "the certificates differ in issuer, serial number or key");
    return pair;
}

}  // namespace

void ReissuedCertificateTable::Replace(std::vector<ReissuedCertificatePair> pairs) {
    std::unique_lock lock(m_lock);
    m_pairs.swap(pairs);
}

std::size_t ReissuedCertificateTable::Size() const {
    std::shared_lock lock(m_lock);
    return m_pairs.size();
}

bool ReissuedCertificateTable::NamesArePaired(const X509_NAME* a, const X509_NAME* b) const {
    std::shared_lock lock(m_lock);
    for (const ReissuedCertificatePair& pair : m_pairs) {
        const X509_NAME* first = X509_get_subject_name(pair.first.Get());
        const X509_NAME* second = X509_get_subject_name(pair.second.Get());
        auto inPair = [&](const X509_NAME* name) {
            return CompareNamesIgnoringPrefixedEntries(name, first) == 0 ||
                   CompareNamesIgnoringPrefixedEntries(name, second) == 0;
        };
        if (inPair(a) && inPair(b)) return true;
    }
    return false;
}

ReissuedCertificateTable& GetReissuedCertificateTable() {
    static ReissuedCertificateTable table;
    return table;
}

X509Holder DecodeBuiltInCertificate(std::string_view base64) {
    // Base64 never decodes to more bytes than it has characters.
    std::vector<Byte> der(base64.size());
    ConstData input(base64.data(), base64.data() + base64.size());
    OutputRange output(der.data(), der.data() + der.size());
    Base64Decoder decoder;
    decoder.Filter(input, output);
    return CreateX509(ConstData(der.data(), output.begin));
}

std::vector<ReissuedCertificatePair> ParseReissuedCertificatePairs(std::string_view text) {
    std::vector<ReissuedCertificatePair> pairs;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        std::vector<std::string_view> words = SplitAtWhitespace(line);
        if (words.empty() || words.front().starts_with('#')) continue;
        pairs.push_back(ParsePairLine(line, lineNumber));
    }
    return pairs;
}

void LoadReissuedCertificateTable(const FileLocation& location, ReissuedCertificateTable& table) {
    table.Replace(ParseReissuedCertificatePairs(ReadFileText(location)));
}

int NamesEquivalent(const X509_NAME* a, const X509_NAME* b) {
    if (GetReissuedCertificateTable().NamesArePaired(a, b)) return 0;
    return CompareNamesIgnoringPrefixedEntries(a, b);
}

int CheckIssuedCompatible(X509_STORE_CTX*, X509* certificate, X509* issuer) {
    // Called by the library: nothing may be thrown back into it.
    try {
        const X509_NAME* issuerSubject = X509_get_subject_name(issuer);
        const X509_NAME* issuerName = X509_get_issuer_name(certificate);
        X509Holder renamed;
        X509* issued = certificate;
        if (X509_NAME_cmp(issuerSubject, issuerName) != 0 && NamesEquivalent(issuerSubject, issuerName) == 0) {
            // Judged as if issued under the issuer's present name.
            renamed = DuplicateX509(certificate);
            SetX509IssuerName(renamed.Get(), issuerSubject);
            issued = renamed.Get();
        }
        return X509_check_issued(issuer, issued) == X509_V_OK ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int FindCompatibleIssuer(X509** issuer, X509_STORE_CTX* context, X509* certificate) {
    *issuer = nullptr;
    int found = X509_STORE_CTX_get1_issuer(issuer, context, certificate);
    X509_STORE* store = X509_STORE_CTX_get0_store(context);
    if (found != 0 || !store) return found;
    // Not under its own name: any certificate of the store under an equivalent one. The store's
    // objects are sorted for OpenSSL's name comparison, not ours, so they are all looked at.
    X509_STORE_CTX_check_issued_fn checkIssued = X509_STORE_CTX_get_check_issued(context);
    const X509_NAME* wanted = X509_get_issuer_name(certificate);
    X509_STORE_lock(store);
    try {
        STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store);
        for (int i = 0; i < sk_X509_OBJECT_num(objects) && !*issuer; ++i) {
            X509* candidate = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i));
            if (!candidate || NamesEquivalent(X509_get_subject_name(candidate), wanted) != 0) continue;
            if (checkIssued(context, certificate, candidate) && X509_up_ref(candidate)) *issuer = candidate;
        }
    } catch (...) {
        found = -1;
    }
    X509_STORE_unlock(store);
    return *issuer ? 1 : found;
}

void InstallReissuedCertificateChecks(X509_STORE* store) {
    // Written once: later verifications on the store find them in place and leave it untouched.
    if (X509_STORE_get_get_issuer(store) != &FindCompatibleIssuer) X509_STORE_set_get_issuer(store, &FindCompatibleIssuer);
    if (X509_STORE_get_check_issued(store) != &CheckIssuedCompatible)
        X509_STORE_set_check_issued(store, &CheckIssuedCompatible);
}
