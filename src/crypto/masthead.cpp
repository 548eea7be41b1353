#include "crypto/masthead.h"

#include <vector>

#include "base/const_data_reader.h"
#include "crypto/masthead_maker.h"
#include "crypto/multipart_signed_splitter.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_message_maker.h"
#include "formats/message_maker.h"
#include "foundation/data_stages.h"
#include "foundation/whole_file.h"

namespace {

ConstData Slice(ConstData file, MastheadPartRange range) {
    KVR_REQUIRE(range.Start <= range.End && range.End <= file.Length());
    return ConstData(file.begin + range.Start, file.begin + range.End);
}

// The whole masthead file through the signed-message reader into the masthead's receivers; the
// signature is authorized only once the whole input has been read.
void ParseMastheadMessage(DataReader& reader, MastheadHeaderReceiver& headers, MessageReceiver& partLocator,
                          SignatureVerification& verification, SignatureAcceptancePolicy& policy) {
    MastheadMaker masthead(headers, partLocator);
    MessageMaker content(masthead);
    SignedMessageMaker signedMessage;
    signedMessage.Init(content, verification);
    headers.Begin();
    ReadMessage(reader, signedMessage);
    verification.Authorize(policy);
    verification.Result();
}

}  // namespace

Masthead::Masthead() = default;
Masthead::Masthead(const Masthead&) = default;
Masthead& Masthead::operator=(const Masthead&) = default;
Masthead::Masthead(Masthead&&) noexcept = default;
Masthead& Masthead::operator=(Masthead&&) noexcept = default;
Masthead::~Masthead() = default;

// The file is read once: the bytes that were verified are the bytes the operator list and the plain
// text come from, so a file changed between two reads cannot slip unverified text in.
void Masthead::Load(const FileLocation& path, unsigned acceptedKinds) {
    const std::vector<Byte> file = ReadWholeFile(path);
    LoadBytes(ConstData(file.data(), file.size()), acceptedKinds);
}

// Everything is parsed into a scratch record that replaces this one only when the masthead
// verified: a failed load never leaves unverified fields behind.
void Masthead::LoadBytes(ConstData file, unsigned acceptedKinds) {
    Masthead scratch;
    auto verification = std::make_shared<SignatureVerification>();
    scratch.m_headers.ExpectedVersion = kExpectedMastheadVersion;
    MastheadSignaturePolicy policy;
    policy.Bind(scratch.m_headers, acceptedKinds);
    MastheadHeaderSetMaker headerMaker(scratch.m_headers);
    MastheadPartLocator locator(scratch.m_locations);
    ConstDataReader reader(file);
    ParseMastheadMessage(reader, headerMaker, locator, *verification, policy);

    if (!scratch.m_locations.OperatorList.IsEmpty())
        ParseMastheadOperatorList(Slice(file, scratch.m_locations.OperatorList), true, scratch.m_operators);
    scratch.m_plainText = StringFromConstData(Slice(file, scratch.m_locations.PlainText));
    scratch.m_verification = std::move(verification);
    *this = std::move(scratch);
}

// The signature part is skipped unread: the crypto library may not have started yet.
bool ReadMastheadRequiresFips(const FileLocation& path) {
    MastheadHeaderSet headers;
    headers.ExpectedVersion = kExpectedMastheadVersion;
    MastheadHeaderSetMaker headerMaker(headers);
    IgnoreMessageReceiver parts;
    MastheadMaker masthead(headerMaker, parts);
    MessageMaker content(masthead);
    MultipartSignedSignatureIgnorer contentOnly;
    contentOnly.Init(content);
    MultipartSignedSplitter signedMessage;
    signedMessage.Init(contentOnly);
    headerMaker.Begin();
    ReadMessageFile(path, signedMessage);
    return headers.RequireFipsCryptography != 0;
}
