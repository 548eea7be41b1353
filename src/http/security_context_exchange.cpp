#include "http/security_context_exchange.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "foundation/log_manager.h"
#include "platform/gssapi_library.h"
#include "platform/leak_check_pause.h"

using PosixPlatform::GetSecurityFunctionTable;
using PosixPlatform::SecurityFunctionTable;

namespace {

// Object identifiers in their DER form. GSSAPI never writes through an OID, hence the const_cast.
gss_OID_desc MakeOID(const char* der, OM_uint32 length) {
    return {length, const_cast<char*>(der)};
}
// 1.3.6.1.4.1.311.2.2.10, the mechanism of gss-ntlmssp.
gss_OID_desc kNTLMMechanism = MakeOID("\x2b\x06\x01\x04\x01\x82\x37\x02\x02\x0a", 10);
// 1.3.6.1.5.5.2
gss_OID_desc kSPNEGOMechanism = MakeOID("\x2b\x06\x01\x05\x05\x02", 6);
// The name types of RFC 2744 (GSS_C_NT_USER_NAME and GSS_C_NT_HOSTBASED_SERVICE), spelled out here:
// the library's own constants are data symbols, out of reach of a program that does not link it.
gss_OID_desc kUserNameType = MakeOID("\x2a\x86\x48\x86\xf7\x12\x01\x02\x01\x01", 10);
gss_OID_desc kHostBasedServiceType = MakeOID("\x2a\x86\x48\x86\xf7\x12\x01\x02\x01\x04", 10);

// Replay and sequence detection and confidentiality, as a Windows client asks of its provider. Not
// delegation: over GSSAPI that would forward the user's Kerberos ticket to the proxy. Not mutual
// authentication either: the peer's last token would come with the final response, which is never
// fed back into the exchange.
constexpr OM_uint32 kRequestedFlags = GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG | GSS_C_CONF_FLAG;

// The NTLM CHALLENGE_MESSAGE (MS-NLMP 2.2.1.2) as far as gss-ntlmssp reads it without checking.
constexpr std::string_view kNTLMSignature("NTLMSSP\0\2\0\0\0", 12);
constexpr std::size_t kTargetNameLengthOffset = 12;
constexpr std::size_t kFlagsOffset = 20;
constexpr std::size_t kChallengeHeaderLength = 48;
constexpr std::uint32_t kNegotiateUnicode = 0x00000001;
constexpr std::uint32_t kTargetTypeDomain = 0x00010000;
constexpr std::uint32_t kTargetTypeServer = 0x00020000;

std::uint32_t LittleEndianAt(std::string_view bytes, std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | static_cast<Byte>(bytes[offset + i]);
    return value;
}

// The length of the DER OCTET STRING whose contents begin at `at`: its header (tag 4, then a short
// length, or 0x81 or 0x82 and one or two length bytes) stands right before. Nothing when no such
// header is there.
std::optional<std::size_t> WrappedLength(std::string_view bytes, std::size_t at) {
    auto byteAt = [&](std::size_t back) { return static_cast<Byte>(bytes[at - back]); };
    if (at >= 2 && byteAt(2) == 0x04 && byteAt(1) < 0x80) return byteAt(1);
    if (at >= 3 && byteAt(3) == 0x04 && byteAt(2) == 0x81) return byteAt(1);
    if (at >= 4 && byteAt(4) == 0x04 && byteAt(3) == 0x82) return std::size_t{byteAt(2)} << 8 | byteAt(1);
    return std::nullopt;
}

// Whether a challenge token holds an NTLM challenge that gss-ntlmssp 1.2 would misread: one shorter
// than the fixed header, whose fields it reads past the end of the token, or one that names a target
// type with an empty Unicode target name, on which it writes through a null pointer and brings the
// process down. A hostile or careless proxy must not be able to do either, so such a token is
// refused before it reaches the library. The message is found by its signature, in a raw NTLM token
// and inside the SPNEGO wrapping of a Negotiate one alike; wrapped, it is as long as the DER OCTET
// STRING that holds it says (SPNEGO hands the mechanism that much), and a wrapping we cannot read is
// refused.
bool HoldsUnreadableNTLMChallenge(ConstData token) {
    std::string_view bytes = token.View();
    for (std::size_t at = bytes.find(kNTLMSignature); at != std::string_view::npos;
         at = bytes.find(kNTLMSignature, at + 1)) {
        std::string_view message = bytes.substr(at);
        if (at != 0) {
            std::optional<std::size_t> length = WrappedLength(bytes, at);
            if (!length) return true;
            message = message.substr(0, *length);
        }
        if (message.size() < kChallengeHeaderLength) return true;
        std::uint32_t flags = LittleEndianAt(message, kFlagsOffset, 4);
        bool namesTarget = (flags & (kTargetTypeDomain | kTargetTypeServer)) != 0;
        if (namesTarget && (flags & kNegotiateUnicode) &&
            LittleEndianAt(message, kTargetNameLengthOffset, 2) == 0)
            return true;
    }
    return false;
}

const char* MechanismWord(gss_OID mechanism) {
    return mechanism == &kNTLMMechanism ? "NTLM" : "Negotiate";
}

// The user as the mechanism reads a name of GSS_C_NT_USER_NAME: gss-ntlmssp takes "DOMAIN\user",
// Kerberos (and so SPNEGO) a principal "user@REALM", which gss-ntlmssp also understands.
std::string UserName(SecurityContextExchange::Mechanism mechanism, std::string_view user,
                     std::string_view domain) {
    if (domain.empty()) return std::string(user);
    if (mechanism == SecurityContextExchange::Mechanism::NTLM)
        return std::string(domain) + "\\" + std::string(user);
    return std::string(user) + "@" + std::string(domain);
}

// The messages of one status code, joined by "; ".
void AppendStatusText(const SecurityFunctionTable& gss, OM_uint32 code, int codeType, gss_OID mechanism,
                      std::string& text) {
    OM_uint32 messageContext = 0;
    do {
        OM_uint32 minor = 0;
        gss_buffer_desc message{0, nullptr};
        if (GSS_ERROR(gss.displayStatus(&minor, code, codeType, mechanism, &messageContext, &message)))
            return;
        if (!text.empty()) text += "; ";
        text.append(static_cast<const char*>(message.value), message.length);
        gss.releaseBuffer(&minor, &message);
    } while (messageContext != 0);
}

void LogFailure(const SecurityFunctionTable& gss, gss_OID mechanism, const char* call, OM_uint32 major,
                OM_uint32 minor) {
    if (!IsLogCategoryEnabled("debug")) return;
    std::string text;
    AppendStatusText(gss, major, GSS_C_GSS_CODE, GSS_C_NO_OID, text);
    if (minor != 0) AppendStatusText(gss, minor, GSS_C_MECH_CODE, mechanism, text);
    KVR_LOG("debug") << MechanismWord(mechanism) << " authentication: " << call << " failed: " << text;
}

// A name that GSSAPI made, released when the holder goes.
class ImportedName {
  public:
    explicit ImportedName(const SecurityFunctionTable& gss) : m_gss(gss) {}
    ~ImportedName() {
        OM_uint32 minor = 0;
        if (m_name != GSS_C_NO_NAME) m_gss.releaseName(&minor, &m_name);
    }
    ImportedName(const ImportedName&) = delete;
    ImportedName& operator=(const ImportedName&) = delete;
    gss_name_t& Name() { return m_name; }

  private:
    const SecurityFunctionTable& m_gss;
    gss_name_t m_name = GSS_C_NO_NAME;
};

// A token that GSSAPI made, released when the holder goes.
class OutputBuffer {
  public:
    explicit OutputBuffer(const SecurityFunctionTable& gss) : m_gss(gss) {}
    ~OutputBuffer() {
        OM_uint32 minor = 0;
        if (m_buffer.value) m_gss.releaseBuffer(&minor, &m_buffer);
    }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    gss_buffer_desc* Buffer() { return &m_buffer; }
    std::string Text() const {
        return std::string(static_cast<const char*>(m_buffer.value), m_buffer.length);
    }

  private:
    const SecurityFunctionTable& m_gss;
    gss_buffer_desc m_buffer{0, nullptr};
};

}  // namespace

SecurityContextExchange::SecurityContextExchange(SecurityContextExchange&& other) noexcept
    : m_mechanism(std::exchange(other.m_mechanism, GSS_C_NO_OID)),
      m_credentials(std::exchange(other.m_credentials, GSS_C_NO_CREDENTIAL)),
      m_credentialsIdentity(std::move(other.m_credentialsIdentity)),
      m_target(std::exchange(other.m_target, GSS_C_NO_NAME)),
      m_context(std::exchange(other.m_context, GSS_C_NO_CONTEXT)) {}

SecurityContextExchange& SecurityContextExchange::operator=(SecurityContextExchange&& other) noexcept {
    if (this != &other) {
        EndExchange();
        ReleaseCredentials();
        m_mechanism = std::exchange(other.m_mechanism, GSS_C_NO_OID);
        m_credentials = std::exchange(other.m_credentials, GSS_C_NO_CREDENTIAL);
        m_credentialsIdentity = std::move(other.m_credentialsIdentity);
        m_target = std::exchange(other.m_target, GSS_C_NO_NAME);
        m_context = std::exchange(other.m_context, GSS_C_NO_CONTEXT);
    }
    return *this;
}

SecurityContextExchange::~SecurityContextExchange() {
    EndExchange();
    ReleaseCredentials();
}

// A handle exists only when the library was loaded, so GetSecurityFunctionTable does not throw here.
void SecurityContextExchange::EndExchange() {
    OM_uint32 minor = 0;
    if (m_context != GSS_C_NO_CONTEXT)
        GetSecurityFunctionTable().deleteSecContext(&minor, &m_context, GSS_C_NO_BUFFER);
    if (m_target != GSS_C_NO_NAME) GetSecurityFunctionTable().releaseName(&minor, &m_target);
    m_context = GSS_C_NO_CONTEXT;
    m_target = GSS_C_NO_NAME;
}

void SecurityContextExchange::ReleaseCredentials() {
    OM_uint32 minor = 0;
    if (m_credentials != GSS_C_NO_CREDENTIAL) GetSecurityFunctionTable().releaseCred(&minor, &m_credentials);
    m_credentials = GSS_C_NO_CREDENTIAL;
    m_credentialsIdentity.clear();
}

std::optional<std::string> SecurityContextExchange::Start(Mechanism mechanism, std::string_view user,
                                                          std::string_view domain, std::string_view password,
                                                          std::string_view targetHost) {
    EndExchange();
    try {
        GetSecurityFunctionTable();
    } catch (const NoSuchProcAddress&) {
        KVR_LOG("debug") << (mechanism == Mechanism::NTLM ? "NTLM" : "Negotiate")
                         << " authentication: " << PosixPlatform::SecurityProviderLibraryName()
                         << " is not available";
        return std::nullopt;
    }
    if (!AcquireCredentials(mechanism, user, domain, password)) return std::nullopt;

    const SecurityFunctionTable& gss = GetSecurityFunctionTable();
    OM_uint32 minor = 0;
    std::string service = "HTTP@" + std::string(targetHost);
    gss_buffer_desc serviceBuffer{service.size(), service.data()};
    OM_uint32 major = gss.importName(&minor, &serviceBuffer, &kHostBasedServiceType, &m_target);
    if (GSS_ERROR(major)) {
        m_target = GSS_C_NO_NAME;
        LogFailure(gss, m_mechanism, "gss_import_name", major, minor);
        return std::nullopt;
    }
    return Step(ConstData());
}

// The credentials are kept from one exchange to the next while the identity stays the same: gss-ntlmssp
// 1.2 leaks about 6 KiB of OpenSSL state (the legacy provider it loads for MD4) at every acquisition
// with a password, which every request through an NTLM proxy would otherwise repeat, and for Kerberos
// the acquisition is the round trip to the KDC. The password is part of the identity so that a changed
// one is used at once. The leak check of the sanitized tests is paused for that one call.
bool SecurityContextExchange::AcquireCredentials(Mechanism mechanism, std::string_view user,
                                                 std::string_view domain, std::string_view password) {
    std::string userName = UserName(mechanism, user, domain);
    std::string identity = std::string(mechanism == Mechanism::NTLM ? "NTLM" : "Negotiate") + '\0' +
                           userName + '\0' + std::string(password);
    if (m_credentials != GSS_C_NO_CREDENTIAL && identity == m_credentialsIdentity) return true;
    ReleaseCredentials();
    m_mechanism = mechanism == Mechanism::NTLM ? &kNTLMMechanism : &kSPNEGOMechanism;

    const SecurityFunctionTable& gss = GetSecurityFunctionTable();
    OM_uint32 minor = 0;
    gss_buffer_desc userBuffer{userName.size(), userName.data()};
    ImportedName userGSSName(gss);
    OM_uint32 major = gss.importName(&minor, &userBuffer, &kUserNameType, &userGSSName.Name());
    if (GSS_ERROR(major)) {
        LogFailure(gss, m_mechanism, "gss_import_name", major, minor);
        return false;
    }
    // gss-ntlmssp reads the password as a C string: the copy ends in a NUL beyond its length.
    std::string passwordText(password);
    gss_buffer_desc passwordBuffer{passwordText.size(), passwordText.data()};
    gss_OID_set_desc mechanisms{1, m_mechanism};
    {
        PosixPlatform::LeakCheckPause knownLibraryLeak;
        major = gss.acquireCredWithPassword(&minor, userGSSName.Name(), &passwordBuffer, 0, &mechanisms,
                                            GSS_C_INITIATE, &m_credentials, nullptr, nullptr);
    }
    if (GSS_ERROR(major)) {
        m_credentials = GSS_C_NO_CREDENTIAL;
        LogFailure(gss, m_mechanism, "gss_acquire_cred_with_password", major, minor);
        return false;
    }
    m_credentialsIdentity = std::move(identity);
    return true;
}

std::optional<std::string> SecurityContextExchange::Continue(ConstData peerToken) {
    if (!InProgress()) return std::nullopt;
    // A continuation without a token would reach the mechanism as "no token", on which gss-ntlmssp
    // 1.2 dereferences a null pointer: a challenge whose Base64 decodes to nothing ends the exchange,
    // as does one the library would misread.
    if (peerToken.IsEmpty() || HoldsUnreadableNTLMChallenge(peerToken)) {
        KVR_LOG("debug") << MechanismWord(m_mechanism) << " authentication: the peer's token is refused";
        EndExchange();
        return std::nullopt;
    }
    return Step(peerToken);
}

std::optional<std::string> SecurityContextExchange::Step(ConstData peerToken) {
    const SecurityFunctionTable& gss = GetSecurityFunctionTable();
    gss_buffer_desc input{peerToken.Length(), const_cast<Byte*>(peerToken.begin)};
    OutputBuffer output(gss);
    OM_uint32 minor = 0;
    OM_uint32 major =
        gss.initSecContext(&minor, m_credentials, &m_context, m_target, m_mechanism, kRequestedFlags, 0,
                           GSS_C_NO_CHANNEL_BINDINGS, peerToken.IsEmpty() ? GSS_C_NO_BUFFER : &input, nullptr,
                           output.Buffer(), nullptr, nullptr);
    if (GSS_ERROR(major)) {
        LogFailure(gss, m_mechanism, "gss_init_sec_context", major, minor);
        EndExchange();
        return std::nullopt;
    }
    // Finished: nothing is kept for another leg.
    if (!(major & GSS_S_CONTINUE_NEEDED)) EndExchange();
    if (output.Buffer()->length == 0) {
        EndExchange();
        return std::nullopt;
    }
    return output.Text();
}
