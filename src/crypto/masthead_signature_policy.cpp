#include "crypto/masthead_signature_policy.h"

#include <mutex>
#include <string_view>

#include "base/character_classes.h"
#include "crypto/bio_wrappers.h"
#include "crypto/certificate_fields.h"
#include "crypto/certificates.h"
#include "crypto/reissued_certificates.h"
#include "foundation/whole_file.h"
#include "net/url_info.h"

namespace {

constexpr const char* kMastheadRootFileName = "masthead-root.pem";
constexpr std::string_view kActionRegistrarPrefix = "ActionSite Registrar:";
constexpr std::string_view kDaruraviduRegistrarPrefix = "DaruraviduSite Registrar:";
constexpr std::string_view kConsumerRegistrarName = "Site Registration";

// The root and the folder it comes from; the root is read once, the first time it is asked for.
struct MastheadRoot {
    std::mutex lock;
    FileLocation folder;
    X509Holder certificate;
};

MastheadRoot& TheMastheadRoot() {
    static MastheadRoot root;
    return root;
}

X509Holder ReadCertificateFile(const FileLocation& path) {
    const std::vector<Byte> bytes = ReadWholeFile(path);
    const ConstData data(bytes.data(), bytes.size());
    if (data.View().find("-----BEGIN") != std::string_view::npos) {
        BIOHolder memory = NewMemoryBIO(data);
        return PEMReadX509(memory.Get());
    }
    return CreateX509(data);
}

bool Equal(ConstData a, ConstData b) { return a.View() == b.View(); }

bool SerialIsZero(const X509* certificate) {
    return GetSerialNumber(certificate) == CertificateSerial::FromInteger(0);
}

// The chain positions the rules look at.
struct ChainPositions {
    int length;
    X509* registrar;
    X509* site;
};

ChainPositions Positions(STACK_OF(X509)* chain) {
    return {chain == nullptr ? 0 : sk_X509_num(chain), ChainRegistrar(chain), ChainSiteCertificate(chain)};
}

// Site name, gather URL and organization of the site certificate against the header set.
bool SiteCertificateNamesMasthead(X509* site, const MastheadHeaderSet& headers) {
    return Equal(GetGatherURLField(site), headers.GatherURL.Data()) &&
           Equal(GetSitenameField(site), headers.SiteName.Data()) &&
           Equal(GetSubjectOrganization(site), headers.Organization.Data());
}

// The host of the gather URL; nothing when the URL has no authority or no host.
bool GatherURLHostIs(ConstData gatherURL, ConstData server) {
    const URLInfo url(gatherURL);
    if (!url.HasAuthority()) return false;
    try {
        return Ascii::EqualIgnoringCase(url.GetHost(), server);
    } catch (const InvalidURLInfoUse&) {
        return false;
    }
}

}  // namespace

void SetMastheadRootFolder(const FileLocation& folder) {
    MastheadRoot& root = TheMastheadRoot();
    std::lock_guard guard(root.lock);
    root.folder = folder;
    root.certificate = X509Holder();
}

X509* MastheadRootCertificate() {
    MastheadRoot& root = TheMastheadRoot();
    std::lock_guard guard(root.lock);
    if (root.certificate) return root.certificate.Get();
    if (root.folder.IsEmpty()) throw MastheadRootUnavailable("No built-in certificate folder is set");
    const FileLocation path = root.folder.MakeChild(kMastheadRootFileName);
    try {
        root.certificate = ReadCertificateFile(path);
    } catch (const std::exception& failure) {
        throw MastheadRootUnavailable("Cannot read the masthead root " + path.GetPathString() + ": " +
                                      failure.what());
    }
    return root.certificate.Get();
}

bool ActionMastheadSignaturePolicy::IsAuthorized(STACK_OF(X509)* chain) {
    const ChainPositions at = Positions(chain);
    if (at.length != 3) return false;
    if (!GetSubjectCommonName(at.registrar).View().starts_with(kActionRegistrarPrefix)) return false;
    const ConstData server = GetServerField(at.site);
    if (server.IsEmpty() || !GatherURLHostIs(m_headers.GatherURL.Data(), server)) return false;
    return !GetSubjectOrganization(at.site).IsEmpty() && !SerialIsZero(at.site);
}

bool DaruraviduMastheadSignaturePolicy::IsAuthorized(STACK_OF(X509)* chain) {
    const ChainPositions at = Positions(chain);
    if (at.length != 3) return false;
    if (!GetSubjectCommonName(at.registrar).View().starts_with(kDaruraviduRegistrarPrefix)) return false;
    if (m_headers.SiteName.IsEmpty() || m_headers.GatherURL.IsEmpty() || m_headers.Organization.IsEmpty())
        return false;
    return SiteCertificateNamesMasthead(at.site, m_headers) && !SerialIsZero(at.site);
}

bool ConsumerMastheadSignaturePolicy::IsAuthorized(STACK_OF(X509)* chain) {
    const ChainPositions at = Positions(chain);
    if (at.length != 3 && at.length != 4) return false;
    if (GetSubjectCommonName(at.registrar).View() != kConsumerRegistrarName) return false;
    return SiteCertificateNamesMasthead(at.site, m_headers);
}

// Unlike the file-list and encryption-certificate policies, a masthead forgives no validity error:
// the store keeps OpenSSL's own verify callback.
void MastheadSignaturePolicy::Bind(const MastheadHeaderSet& headers, unsigned acceptedKinds) {
    AddTrustedCertificate(MastheadRootCertificate());
    InstallReissuedCertificateChecks(TrustedStore());
    m_headers = &headers;
    m_acceptedKinds = acceptedKinds;
}

void MastheadSignaturePolicy::AuthorizeChain(const ChainAuthorization& authorization) {
    static std::once_flag registered;
    std::call_once(registered, [] {
        RegisterExceptionType(&CatchCurrentException);
        RegisterExceptionType(&CaptureExceptionOfType<UnacceptableMastheadType>);
    });
    if (m_headers == nullptr) throw UnacceptableMastheadType();
    if ((m_acceptedKinds & MastheadKind::kConsumer) != 0 &&
        ConsumerMastheadSignaturePolicy(*m_headers).IsAuthorized(authorization.chain))
        return;
    if ((m_acceptedKinds & MastheadKind::kDaruravidu) != 0 &&
        DaruraviduMastheadSignaturePolicy(*m_headers).IsAuthorized(authorization.chain))
        return;
    if ((m_acceptedKinds & MastheadKind::kActionOnly) != 0 &&
        ActionMastheadSignaturePolicy(*m_headers).IsAuthorized(authorization.chain))
        return;
    throw UnacceptableMastheadType();
}
