// Masthead: a site masthead read from its file, verified and authorized.
//
// A masthead file is a multipart/signed message whose signed content is the masthead proper: a
// multipart/related body of type "Application/x-Mendle-Site-Masthead" (or, once more, multipart/signed
// around one) with the masthead's header lines (masthead_header_set.h) and its parts
// (masthead_part_locator.h): a plain text, an operator list (masthead_operators.h), an encryption
// certificate and a bitmap. Its signer's chain must end at the masthead root and satisfy one of the
// accepted kinds (masthead_signature_policy.h).
//
// Load reads the file once and parses, verifies and takes every field from those same bytes; a load
// that fails for any reason leaves the record as it was. A Masthead is a plain value: copies are
// independent, and the verification record they share is never changed after the load.
// One thread at a time per record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/const_data.h"
#include "base/file_location.h"
#include "crypto/masthead_header_set.h"
#include "crypto/masthead_operators.h"
#include "crypto/masthead_part_locator.h"
#include "crypto/masthead_signature_policy.h"

class SignatureVerification;


class Masthead {
  public:
    Masthead();
    Masthead(const Masthead&);
    Masthead& operator=(const Masthead&);
    Masthead(Masthead&&) noexcept;
    Masthead& operator=(Masthead&&) noexcept;
    ~Masthead();

    // Reads, verifies and authorizes the masthead file, then takes its operator list and plain text
    // from the verified bytes. Throws what the read, the parse or the verification throws.
    void Load(const FileLocation& path, unsigned acceptedKinds);
    // The same over the bytes of a whole masthead file held in memory.
    void LoadBytes(ConstData file, unsigned acceptedKinds);

    const MastheadHeaderSet& Headers() const { return m_headers; }
    const MastheadOperatorList& Operators() const { return m_operators; }
    const MastheadPartLocations& PartLocations() const { return m_locations; }
    // The plain-text part's bytes; empty when there is none.
    const std::string& PlainText() const { return m_plainText; }
    // The gather URL, the masthead's key in the masthead store.
    ConstData GatherURL() const { return m_headers.GatherURL.Data(); }
    // Null until a load succeeded; then the signer and its verified chains.
    const SignatureVerification* Verification() const { return m_verification.get(); }

  private:
    std::shared_ptr<const SignatureVerification> m_verification;
    MastheadHeaderSet m_headers;
    MastheadOperatorList m_operators;
    MastheadPartLocations m_locations;
    std::string m_plainText;
};

// True when the masthead file's "x-kvr-require-fips-cryptography" value is not 0. Reads the headers
// only: the signature is neither read nor checked (the crypto library may not be started yet).
bool ReadMastheadRequiresFips(const FileLocation& path);
