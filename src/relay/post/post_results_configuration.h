// PostResultsConfiguration: where posted reports live on disk, under which names new files are made,
// how large a forwarded batch may grow and how long the forwarder waits, where the parent is, and
// which keys and certificate apply to encrypted reports. The post-results plug-in builds one when it
// starts; its request threads and its forwarder share it through the two interfaces below.
//
// The folders, all under the results buffer directory (GatherOptionsManager::GetResultsBufferDirectory,
// read once at construction):
//
//   <buffer>                      plain reports as clients posted them, one file each
//   <buffer>/ForwardingBufferDir  what goes to the parent as it is: compacted archives of the plain
//                                 reports, compressed reports, encrypted reports this relay cannot open
//   <buffer>/TemporaryDir         files being written; each gets its final name only when complete
//   <buffer>/RejectedDir          files the parent refused or the forwarder could not read: never sent
//                                 again; an administrator moves them back into ForwardingBufferDir
//
// New files of the buffer and forwarding folders are named by NumberedFileDirectory. The buffer
// numbering also skips the names of the carbon-copy folder, and the forwarding numbering those of
// RejectedDir, so a name is never used twice while those files are kept.
//
// The settings (settings/configuration_settings.h), read at every call unless said, also without a
// configuration (PostResultsSettings below):
//
//   HKLM "Software\Veltra\Daruravidu Server\PostResults" (mode 1):
//     "BufferDirectoryMaxSize"   DWORD, 3145728 bytes  } the forwarding buffer's limits beyond which
//     "BufferDirectoryMaxCount"  DWORD, 10000 files    } posts are refused
//     "TimeoutSeconds"           DWORD, 300            the request time-out, read at construction
//     "CarbonCopyPath"           text, none            a folder that receives a copy of every plain report
//   named settings "_KVRRelay_PostResults_<name>" (mode 2):
//     "ResultTimeLimit"          3 seconds             the forwarder's pause between passes
//     "ResultSizeLimit"          1048576 bytes         report bytes per forwarded batch
//     "ParentRelayURL"           empty                 where batches are POSTed
//     "PostTimeoutSeconds"       600                   the time-out of one POST to the parent
//     "RawCarbonCopyPath"        none                  a folder that receives every posted body unchanged
//
// Keys: the private keys of the encryption keys directory (crypto/encryption_keys.h), loaded at
// construction and again whenever the directory's contents change. Certificate: the encryption
// certificate of the agent's action-site masthead, read at construction and again when it is more
// than 60 seconds old at a use; a failed read logs "Unable to load encryption certificate from action
// masthead: <reason>" at "critical" and keeps the certificate held before. Batches are encrypted
// only while the relay holds at least one key.
//
// Thread-safety: every member may be called from any thread. The keys, their directory's watch, the
// certificate and its age are guarded by one lock; each numbering by its own.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_location.h"
#include "crypto/auto_openssl_object.h"
#include "crypto/private_keys.h"
#include "foundation/change_notification.h"
#include "foundation/critical_section.h"
#include "foundation/stopwatch.h"
#include "relay/post/numbered_file_directory.h"

// Where reports live on disk and the names of new files.
class PostResultsFileLocations {
  public:
    virtual ~PostResultsFileLocations() = default;
    virtual FileLocation GetTemporaryDirectory() = 0;
    virtual FileLocation GetBufferDirectory() = 0;
    virtual FileLocation GetForwardingBufferDirectory() = 0;
    virtual OptionalFileLocation GetCarbonCopyDirectory() = 0;
    virtual OptionalFileLocation GetRawCarbonCopyDirectory() = 0;
    virtual FileLocation GetNextBufferFile() = 0;
    virtual FileLocation GetNextForwardingFile() = 0;
    // None while "RawCarbonCopyPath" is unset.
    virtual OptionalFileLocation GetNextRawCarbonCopyFile() = 0;
    virtual FileLocation GetRejectedDirectory() = 0;
};

// What the forwarder needs to reach the parent.
class PostResultsForwardingSettings {
  public:
    virtual ~PostResultsForwardingSettings() = default;
    // Microseconds.
    virtual std::int64_t GetResultTimeLimit() = 0;
    virtual std::uint64_t GetResultSizeLimit() = 0;
    virtual std::string GetParentRelayURL() = 0;
    // Microseconds.
    virtual std::int64_t GetPostTimeout() = 0;
    // A copy the caller owns; empty when batches go unencrypted.
    virtual X509Holder GetEncryptionCertificate() = 0;
    virtual const EVP_CIPHER* GetEnvelopeCipher() = 0;
};

class PostResultsConfiguration : public PostResultsFileLocations, public PostResultsForwardingSettings {
  public:
    static constexpr std::int64_t kCertificateLifetime = 60'000'000;  // microseconds
    // The agent masthead's encryption certificate; empty when it has none; throws when it can't be read.
    using CertificateSource = std::function<X509Holder()>;

    // Reads the buffer directory, scans the numberings, loads the keys (EmptyFileLocationError for an
    // empty keys directory, the directory's errors when it can't be made or watched) and the
    // certificate. The relay's certificate comes from GetClientMastheadWatcher; tests give their own.
    explicit PostResultsConfiguration(CertificateSource certificateSource = {});
    PostResultsConfiguration(const PostResultsConfiguration&) = delete;
    PostResultsConfiguration& operator=(const PostResultsConfiguration&) = delete;

    FileLocation GetTemporaryDirectory() override;
    FileLocation GetBufferDirectory() override;
    FileLocation GetForwardingBufferDirectory() override;
    OptionalFileLocation GetCarbonCopyDirectory() override;
    OptionalFileLocation GetRawCarbonCopyDirectory() override;
    FileLocation GetNextBufferFile() override;
    FileLocation GetNextForwardingFile() override;
    // Binds a raw numbering to the folder on the first call that finds the setting (creating the folder
    // when missing); it stays bound to that folder until the setting is emptied.
    OptionalFileLocation GetNextRawCarbonCopyFile() override;
    FileLocation GetRejectedDirectory() override;

    std::int64_t GetResultTimeLimit() override;
    std::uint64_t GetResultSizeLimit() override;
    std::string GetParentRelayURL() override;
    std::int64_t GetPostTimeout() override;
    // Empty while no key is loaded.
    X509Holder GetEncryptionCertificate() override;
    // AES-256-CBC.
    const EVP_CIPHER* GetEnvelopeCipher() override;

    // Copies of the loaded keys.
    std::vector<CertificateAndKey> GetDecryptionKeys();
    // "TimeoutSeconds" as read at construction, in microseconds.
    std::int64_t GetRequestTimeout() const { return m_requestTimeout; }

  private:
    // Under m_lock.
    void ReloadDecryptionKeysIfChanged();
    void ReloadDecryptionKeys();
    void ReloadEncryptionCertificate();

    FileLocation m_resultsBufferDirectory;
    NumberedFileDirectory m_bufferNumbering;
    NumberedFileDirectory m_forwardingNumbering;
    CertificateSource m_certificateSource;
    std::int64_t m_requestTimeout;

    CriticalSection m_lock;
    // Under m_lock.
    std::unique_ptr<NumberedFileDirectory> m_rawCarbonCopyNumbering;
    std::vector<CertificateAndKey> m_keys;
    std::optional<ChangeNotification> m_keysDirectoryWatch;
    X509Holder m_certificate;
    Stopwatch m_certificateAge;
};

// The forwarding buffer's limits, read afresh at each call (for the plug-in and the diagnostics page).
std::uint64_t GetBufferDirectoryMaxSize();
std::uint64_t GetBufferDirectoryMaxCount();

// Every other setting of the table above, read afresh at each call, for a page that shows them
// without building a configuration (which loads keys and reads the masthead). Times in microseconds.
namespace PostResultsSettings {
// "ForwardingBufferDir" in the results buffer directory (GatherOptionsManager::GetResultsBufferDirectory).
FileLocation ForwardingBufferDirectory(const FileLocation& resultsBufferDirectory);
std::int64_t RequestTimeout();
OptionalFileLocation CarbonCopyDirectory();
std::int64_t ResultTimeLimit();
std::uint64_t ResultSizeLimit();
std::string ParentRelayURL();
std::int64_t PostTimeout();
OptionalFileLocation RawCarbonCopyDirectory();
}  // namespace PostResultsSettings
