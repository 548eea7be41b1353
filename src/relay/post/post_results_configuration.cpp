#include "relay/post/post_results_configuration.h"

#include "base/time_value.h"
#include "crypto/certificates.h"
#include "crypto/client_masthead_watcher.h"
#include "crypto/encryption_keys.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/service/gather_options_manager.h"
#include "settings/configuration_settings.h"

namespace {

// HKLM "Software\Veltra\Daruravidu Server\PostResults".
constexpr const char* kMachineComponent = "Daruravidu Server";
// The named settings "_KVRRelay_PostResults_<name>".
constexpr const char* kNamedComponent = "KVRRelay";
constexpr const char* kSection = "PostResults";

constexpr std::uint32_t kDefaultBufferDirectoryMaxSize = 3'145'728;
constexpr std::uint32_t kDefaultBufferDirectoryMaxCount = 10'000;
constexpr std::uint32_t kDefaultTimeoutSeconds = 300;
constexpr std::uint32_t kDefaultResultTimeLimitSeconds = 3;
constexpr std::uint32_t kDefaultResultSizeLimit = 1'048'576;
constexpr std::uint32_t kDefaultPostTimeoutSeconds = 600;

constexpr const char* kForwardingBufferFolder = "ForwardingBufferDir";
constexpr const char* kTemporaryFolder = "TemporaryDir";
constexpr const char* kRejectedFolder = "RejectedDir";

std::uint32_t MachineNumber(const char* name, std::uint32_t defaultValue) {
    return ConfigurationNumber(1, kMachineComponent, kSection, name, defaultValue).GetValue();
}

std::uint32_t NamedNumber(const char* name, std::uint32_t defaultValue) {
    return ConfigurationNumber(2, kNamedComponent, kSection, name, defaultValue).GetValue();
}

OptionalFileLocation FolderOrNone(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return FileLocation(text.c_str());
}

X509Holder ReadAgentEncryptionCertificate() {
    return GetClientMastheadWatcher().GetEncryptionCertificate();
}

}  // namespace

std::uint64_t GetBufferDirectoryMaxSize() {
    return MachineNumber("BufferDirectoryMaxSize", kDefaultBufferDirectoryMaxSize);
}

std::uint64_t GetBufferDirectoryMaxCount() {
    return MachineNumber("BufferDirectoryMaxCount", kDefaultBufferDirectoryMaxCount);
}

FileLocation PostResultsSettings::ForwardingBufferDirectory(const FileLocation& resultsBufferDirectory) {
    return resultsBufferDirectory.MakeChild(kForwardingBufferFolder);
}

std::int64_t PostResultsSettings::RequestTimeout() {
    return std::int64_t{MachineNumber("TimeoutSeconds", kDefaultTimeoutSeconds)} * kMicrosecondsPerSecond;
}

OptionalFileLocation PostResultsSettings::CarbonCopyDirectory() {
    return FolderOrNone(ConfigurationString(1, kMachineComponent, kSection, "CarbonCopyPath", "").GetText());
}

std::int64_t PostResultsSettings::ResultTimeLimit() {
    return std::int64_t{NamedNumber("ResultTimeLimit", kDefaultResultTimeLimitSeconds)} *
           kMicrosecondsPerSecond;
}

std::uint64_t PostResultsSettings::ResultSizeLimit() {
    return NamedNumber("ResultSizeLimit", kDefaultResultSizeLimit);
}

std::string PostResultsSettings::ParentRelayURL() {
    return ConfigurationString(2, kNamedComponent, kSection, "ParentRelayURL", "").GetText();
}

std::int64_t PostResultsSettings::PostTimeout() {
    return std::int64_t{NamedNumber("PostTimeoutSeconds", kDefaultPostTimeoutSeconds)} *
           kMicrosecondsPerSecond;
}

OptionalFileLocation PostResultsSettings::RawCarbonCopyDirectory() {
    return FolderOrNone(ConfigurationString(2, kNamedComponent, kSection, "RawCarbonCopyPath", "").GetText());
}

PostResultsConfiguration::PostResultsConfiguration(CertificateSource certificateSource)
    : m_resultsBufferDirectory(GatherOptionsManager().GetResultsBufferDirectory()),
      m_bufferNumbering(m_resultsBufferDirectory),
      m_forwardingNumbering(PostResultsSettings::ForwardingBufferDirectory(m_resultsBufferDirectory)),
      m_certificateSource(certificateSource ? std::move(certificateSource)
                                            : CertificateSource(ReadAgentEncryptionCertificate)),
      m_requestTimeout(PostResultsSettings::RequestTimeout()) {
    if (const OptionalFileLocation carbonCopies = GetCarbonCopyDirectory())
        m_bufferNumbering.Scan(*carbonCopies);
    m_forwardingNumbering.Scan(GetRejectedDirectory());
    CriticalSectionGuard guard(m_lock);
    ReloadDecryptionKeys();
    ReloadEncryptionCertificate();
}

FileLocation PostResultsConfiguration::GetTemporaryDirectory() {
    return m_resultsBufferDirectory.MakeChild(kTemporaryFolder);
}

FileLocation PostResultsConfiguration::GetBufferDirectory() {
    return m_resultsBufferDirectory;
}

FileLocation PostResultsConfiguration::GetForwardingBufferDirectory() {
    return m_forwardingNumbering.GetLocation();
}

FileLocation PostResultsConfiguration::GetRejectedDirectory() {
    return m_resultsBufferDirectory.MakeChild(kRejectedFolder);
}

OptionalFileLocation PostResultsConfiguration::GetCarbonCopyDirectory() {
    return PostResultsSettings::CarbonCopyDirectory();
}

OptionalFileLocation PostResultsConfiguration::GetRawCarbonCopyDirectory() {
    return PostResultsSettings::RawCarbonCopyDirectory();
}

FileLocation PostResultsConfiguration::GetNextBufferFile() {
    return m_bufferNumbering.NextFile();
}

FileLocation PostResultsConfiguration::GetNextForwardingFile() {
    return m_forwardingNumbering.NextFile();
}

// A folder named while the relay runs may not exist yet: it is made with its numbering.
OptionalFileLocation PostResultsConfiguration::GetNextRawCarbonCopyFile() {
    const OptionalFileLocation directory = GetRawCarbonCopyDirectory();
    CriticalSectionGuard guard(m_lock);
    if (!directory) {
        m_rawCarbonCopyNumbering.reset();
        return std::nullopt;
    }
    if (!m_rawCarbonCopyNumbering) {
        CreateDirectoryTree(*directory);
        m_rawCarbonCopyNumbering = std::make_unique<NumberedFileDirectory>(*directory);
    }
    return m_rawCarbonCopyNumbering->NextFile();
}

std::int64_t PostResultsConfiguration::GetResultTimeLimit() {
    return PostResultsSettings::ResultTimeLimit();
}

std::uint64_t PostResultsConfiguration::GetResultSizeLimit() {
    return PostResultsSettings::ResultSizeLimit();
}

std::string PostResultsConfiguration::GetParentRelayURL() {
    return PostResultsSettings::ParentRelayURL();
}

std::int64_t PostResultsConfiguration::GetPostTimeout() {
    return PostResultsSettings::PostTimeout();
}

X509Holder PostResultsConfiguration::GetEncryptionCertificate() {
    CriticalSectionGuard guard(m_lock);
    ReloadDecryptionKeysIfChanged();
    if (m_keys.empty()) return {};
    if (m_certificateAge.GetElapsed() > static_cast<std::uint64_t>(kCertificateLifetime))
        ReloadEncryptionCertificate();
    return m_certificate ? DuplicateX509(m_certificate.Get()) : X509Holder();
}

const EVP_CIPHER* PostResultsConfiguration::GetEnvelopeCipher() {
    return EVP_aes_256_cbc();
}

std::vector<CertificateAndKey> PostResultsConfiguration::GetDecryptionKeys() {
    CriticalSectionGuard guard(m_lock);
    ReloadDecryptionKeysIfChanged();
    return m_keys;
}

void PostResultsConfiguration::ReloadDecryptionKeysIfChanged() {
    if (m_keysDirectoryWatch->Poll()) ReloadDecryptionKeys();
}

// The watch starts before the keys are read, so a key file added while they are read is read again at
// the next use.
void PostResultsConfiguration::ReloadDecryptionKeys() {
    const FileLocation directory = GetEncryptionKeysDirectory();
    if (directory.IsEmpty()) throw EmptyFileLocationError();
    CreateDirectoryTree(directory);
    m_keysDirectoryWatch.emplace(directory);
    m_keys.clear();
    LoadEncryptionKeys(m_keys, directory);
}

void PostResultsConfiguration::ReloadEncryptionCertificate() {
    try {
        m_certificate = m_certificateSource();
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to load encryption certificate from action masthead: " << error.what();
    } catch (...) {
        KVR_LOG("critical") << "Unable to load encryption certificate from action masthead: "
                            << CurrentExceptionText();
    }
    m_certificateAge.Reset();
    m_certificateAge.Start();
}
