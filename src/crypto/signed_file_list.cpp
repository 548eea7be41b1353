#include "crypto/signed_file_list.h"

#include <optional>

#include "base/numerals.h"
#include "crypto/custom_site_signature_policy.h"
#include "crypto/file_list_signature_policy.h"
#include "crypto/site_names.h"
#include "formats/file_list_reader.h"

namespace {

constexpr std::size_t kOperatorSitePrefixLength = 6;  // "opsite"

std::uint32_t OperatorSerialOfSite(std::string_view siteName) {
    if (!IsOperatorSiteName(siteName)) return 0;
    return DecimalToUInt32OrDefault(ConstData(siteName.substr(kOperatorSitePrefixLength)), 0);
}

}  // namespace

MessageReceiver& SignedFileListVerifier::BeginPart(LineReceiver& content) {
    m_message.Init(content, m_verification);
    return m_message;
}

void SignedFileListVerifier::EndPart() {
    m_verification.Authorize(m_policy);
    m_verification.Result();
}

void ReadSignedFileList(const FileLocation& location, STDFileList& list, SignatureAcceptancePolicy& policy,
                        std::uint32_t baseVersion) {
    SignedFileListVerifier verifier(policy);
    ReadFileList(location, baseVersion, list, &verifier);
}

std::unique_ptr<PKCS7SignaturePolicy> FileListPolicyForSite(std::string_view siteName,
                                                            const SignatureVerification& mastheadVerification) {
    if (IsCustomSiteName(siteName))
        return std::make_unique<CustomSiteSignaturePolicy>(mastheadVerification, siteName,
                                                           CustomSiteSignaturePolicy::kOwnerOrUserRole);
    const std::uint32_t operatorSerial = OperatorSerialOfSite(siteName);
    auto policy = std::make_unique<FileListSignaturePolicy>(true, operatorSerial, operatorSerial != 0, false);
    policy->SetMastheadVerification(mastheadVerification);
    return policy;
}

void ReadSiteFileList(ConstData siteURL, const FileLocation& location, STDFileList& list, std::uint32_t baseVersion,
                      const MastheadSearchFolders& folders, MastheadStore& store) {
    const Masthead masthead = FindMastheadForURL(siteURL, folders, store);
    const std::unique_ptr<PKCS7SignaturePolicy> policy =
        FileListPolicyForSite(SiteNameOfURL(siteURL), *masthead.Verification());
    ReadSignedFileList(location, list, *policy, baseVersion);
}
