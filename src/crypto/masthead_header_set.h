// The header lines of a site masthead: MastheadHeaderSet holds them, MastheadHeaderSetMaker fills it
// from the header fields of the masthead's signed content.
//
// Texts are fixed-capacity byte buffers cut silently at their capacity (256 bytes, 512 for the
// assertion and the codicil, 32 for the action-lock texts), so that a hostile masthead cannot make a
// reader hold more than a few kilobytes before its signature is checked. The one exception is the
// relevance ("x-relevant-when"), which is kept whole up to kMaximumRelevanceBytes and refused beyond
// it (a cut relevance would be a different, wrong expression).
//
// Numbers ("x-mendle-site-serial-number", "x-mendle-site-unique-site-id",
// "x-kvr-require-fips-cryptography", "x-mendle-site-masthead-version") are decimal with blanks skipped
// anywhere; a value with any other byte, or above 4,294,967,295, leaves its field as it was.
// The update period ("x-mendle-site-update-frequency") is a word of the period table (lower-cased,
// cut to 16 bytes); any other word means one day.
//
// A MastheadHeaderSet is a plain value, copied whole. The makers fill one header set on one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"
#include "foundation/integer_maker.h"

// A text of at most Capacity bytes.
template <std::size_t Capacity>
struct MastheadText {
    Byte bytes[Capacity] = {};
    std::size_t length = 0;

    ConstData Data() const { return {bytes, bytes + length}; }
    std::string Text() const { return StringFromConstData(Data()); }
    bool IsEmpty() const { return length == 0; }
    void Clear() { length = 0; }
};

using MastheadText256 = MastheadText<256>;

// VersionComparison values: how the masthead's "x-mendle-site-masthead-version" relates to
// ExpectedVersion.
namespace MastheadVersion {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kLower = 1;
inline constexpr std::uint32_t kEqual = 2;
inline constexpr std::uint32_t kHigher = 3;
}  // namespace MastheadVersion

inline constexpr std::int32_t kExpectedMastheadVersion = 2;
inline constexpr std::uint64_t kDefaultMastheadUpdatePeriod = 86'400'000'000;  // one day, in microseconds

struct MastheadHeaderSet {
    std::int32_t ExpectedVersion = kExpectedMastheadVersion;
    MastheadText256 OrganizationCommonName;
    MastheadText256 Organization;
    MastheadText256 From;
    MastheadText256 Subject;
    MastheadText256 WebPage;
    MastheadText256 SiteBBS;
    MastheadText256 SiteLocation;
    MastheadText256 GatherURL;
    MastheadText256 SiteName;
    std::uint64_t UpdateFrequency = kDefaultMastheadUpdatePeriod;
    MastheadText256 AbsoluteDirectory;
    MastheadText256 Date;
    MastheadText<512> Assertion;
    MastheadText<512> Codicil;
    MastheadText256 ReportURL;
    MastheadText256 MirrorGatherURL;
    MastheadText256 MirrorDownloadURL;
    MastheadText256 RegistrationURL;
    std::string Relevance;
    MastheadText<32> ActionLockController;
    MastheadText<32> ActionLockInitial;
    MastheadText256 ActionLockOmitSite;
    std::vector<std::string> OmittedSites;
    std::uint32_t SerialNumber = 0;
    std::uint32_t VersionComparison = MastheadVersion::kNone;
    std::uint32_t UniqueSiteID = 0;
    std::uint32_t RequireFipsCryptography = 0;
};

// The longest relevance a masthead may carry.
inline constexpr std::size_t kMaximumRelevanceBytes = 1024 * 1024;

// An "x-relevant-when" value longer than kMaximumRelevanceBytes.
class MastheadRelevanceTooLong : public DebuggableException {};

// The receiver of a masthead's header lines (names in lower case, as the message reader gives them).
class MastheadHeaderReceiver {
  public:
    virtual ~MastheadHeaderReceiver() = default;
    virtual void Begin() = 0;
    // The receiver of the named header's value.
    virtual DataReceiver& Header(ConstData name) = 0;
};

// "x-mendle-site-update-frequency": the period word into microseconds. The target is not owned.
class MastheadPeriodMaker : public DataReceiver, public DataWriter {
  public:
    void SetTarget(std::uint64_t& target) { m_target = &target; }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    static constexpr std::size_t kLongestPeriodWord = 16;

    std::uint64_t* m_target = nullptr;
    Byte m_word[kLongestPeriodWord];
    std::size_t m_length = 0;
};

// The microseconds of a period word already lower-cased and cut (one day for an unknown word).
std::uint64_t MastheadPeriodForWord(ConstData word);

// "x-mendle-site-masthead-version" compared with the header set's ExpectedVersion into its
// VersionComparison. The header set is not owned.
class VersionComparisonMaker : public DataReceiver, public DataWriter {
  public:
    void SetTarget(MastheadHeaderSet& headers) { m_headers = &headers; }

    void Begin() override { m_digits.Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_digits.Receive(begin, end); }
    using DataReceiver::Receive;
    void End() override;

  private:
    MastheadHeaderSet* m_headers = nullptr;
    DecimalAccumulator<std::uint32_t> m_digits;
};

// Fills a MastheadHeaderSet, which it does not own. A companion receiver, when given, also gets
// every relevance value.
class MastheadHeaderSetMaker : public MastheadHeaderReceiver {
  public:
    explicit MastheadHeaderSetMaker(MastheadHeaderSet& headers, DataReceiver* relevanceCompanion = nullptr);
    MastheadHeaderSetMaker(const MastheadHeaderSetMaker&) = delete;
    MastheadHeaderSetMaker& operator=(const MastheadHeaderSetMaker&) = delete;

    // Empties every text and the omitted-site list, sets the period to one day and the numbers to
    // 0; ExpectedVersion stays.
    void Begin() override;
    // An unknown name gets a receiver that ignores the value.
    DataReceiver& Header(ConstData name) override;

  private:
    // Fills one text field, cut at its capacity.
    class TextReceiver : public DataReceiver, public DataWriter {
      public:
        template <std::size_t Capacity>
        TextReceiver& SetTarget(MastheadText<Capacity>& text) {
            m_bytes = text.bytes;
            m_capacity = Capacity;
            m_length = &text.length;
            return *this;
        }
        void Begin() override;
        void Receive(const Byte* begin, const Byte* end) override;
        using DataReceiver::Receive;
        void End() override;

      private:
        Byte* m_bytes = nullptr;
        std::size_t m_capacity = 0;
        std::size_t* m_length = nullptr;
        FillBuffer m_fill;
        BufferFiller m_filler;
        DataFilter m_copy;
    };

    // Collects the relevance whole, refusing more than kMaximumRelevanceBytes.
    class RelevanceReceiver : public DataReceiver, public DataWriter {
      public:
        explicit RelevanceReceiver(std::string& target) : m_target(&target) {}
        void Begin() override { m_target->clear(); }
        void Receive(const Byte* begin, const Byte* end) override;
        using DataReceiver::Receive;
        void End() override {}

      private:
        std::string* m_target;
    };

    DataReceiver& OmittedSiteReceiver();

    MastheadHeaderSet* m_headers;
    DataReceiver* m_relevanceCompanion;
    TextReceiver m_text;
    IntegerMaker m_integer;
    MastheadPeriodMaker m_period;
    VersionComparisonMaker m_version;
    RelevanceReceiver m_relevance;
    DataTee2 m_relevanceTee;
};
