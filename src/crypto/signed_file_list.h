// Reading a site's signed file list: the list (formats/file_list_reader.h) whose every part is a
// multipart/signed message, accepted only when the signature verifies and the policy authorizes its
// signer.
//
// The policy of a site's list follows the site's name, the last segment of its URL:
//   "CustomSite_..."   CustomSiteSignaturePolicy for that name, owners or users may sign;
//   any other          FileListSignaturePolicy with the role check on, no action authorization
//                      check and no intended site; for "opsite<N>" the operator serial is N and a
//                      matching serial signs unless N is 0 (a name without a number counts as 0).
// Both trust the site's masthead (crypto/masthead_store.h, FindMastheadForURL): custom and operator
// sites publish under their action site's masthead.
//
// Nothing here keeps state between reads; a verifier serves one read on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/const_data.h"
#include "base/file_location.h"
#include "crypto/masthead_store.h"
#include "crypto/pkcs7_signature_policy.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_message_maker.h"
#include "formats/multipart_file_list_maker.h"
#include "formats/std_file_list.h"

// The signed stage of the list reader: each part goes through a SignedMessageMaker, and when it ends
// the policy must accept a signer (the failures of SignatureVerification::Result).
class SignedFileListVerifier : public FileListPartVerifier {
  public:
    // The policy is not owned and must outlive the verifier.
    explicit SignedFileListVerifier(SignatureAcceptancePolicy& policy) : m_policy(policy) {}

    MessageReceiver& BeginPart(LineReceiver& content) override;
    void EndPart() override;

  private:
    SignatureAcceptancePolicy& m_policy;
    SignatureVerification m_verification;
    SignedMessageMaker m_message;
};

// Reads the signed, possibly compressed, list at the location into `list` under the policy; a list
// that is not signed is NotASignedMessage. `baseVersion` as for ReadFileList. The list is read whole
// or left empty.
void ReadSignedFileList(const FileLocation& location, STDFileList& list, SignatureAcceptancePolicy& policy,
                        std::uint32_t baseVersion = 0);

// The policy for the lists of the named site, trusting the site's masthead verification (which must
// outlive the policy).
std::unique_ptr<PKCS7SignaturePolicy> FileListPolicyForSite(std::string_view siteName,
                                                            const SignatureVerification& mastheadVerification);

// Reads the list of the site at `siteURL` under the policy its name picks, with the masthead found
// for the URL (NoMastheadMatchesURL when there is none).
void ReadSiteFileList(ConstData siteURL, const FileLocation& location, STDFileList& list, std::uint32_t baseVersion,
                      const MastheadSearchFolders& folders, MastheadStore& store = GetMastheadStore());
