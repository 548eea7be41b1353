#include "crypto/masthead_header_set.h"

#include <algorithm>
#include <string_view>

#include "base/character_classes.h"

namespace {

struct PeriodWord {
    std::string_view word;
    std::uint64_t seconds;
};

constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;

constexpr PeriodWord kPeriodWords[] = {
    {"day", 86'400},           {"eight hours", 28'800}, {"fifteen minutes", 900}, {"half day", 43'200},
    {"half hour", 1'800},      {"hour", 3'600},         {"month", 2'592'000},     {"two days", 172'800},
    {"two months", 5'184'000}, {"two weeks", 1'209'600}, {"week", 604'800},
};

bool NameIs(ConstData name, std::string_view expected) {
    return Ascii::EqualIgnoringCase(name, ConstData(expected));
}

}  // namespace

std::uint64_t MastheadPeriodForWord(ConstData word) {
    const std::string_view text(reinterpret_cast<const char*>(word.begin), word.Length());
    for (const PeriodWord& entry : kPeriodWords)
        if (entry.word == text) return entry.seconds * kMicrosecondsPerSecond;
    return kDefaultMastheadUpdatePeriod;
}

void MastheadPeriodMaker::Begin() { m_length = 0; }

// Only the first 16 bytes count: a longer value is looked up by its cut form, which no table word
// matches unless the word itself is that long.
void MastheadPeriodMaker::Receive(const Byte* begin, const Byte* end) {
    const std::size_t take = std::min<std::size_t>(end - begin, kLongestPeriodWord - m_length);
    for (std::size_t i = 0; i < take; ++i) m_word[m_length++] = Ascii::LowerCaseTable()[begin[i]];
}

void MastheadPeriodMaker::End() {
    if (m_target != nullptr) *m_target = MastheadPeriodForWord(ConstData(m_word, m_word + m_length));
}

// An equal version always wins; a lower or higher one is recorded only when nothing was before, so
// that of several version lines the first mismatch or any match stands.
void VersionComparisonMaker::End() {
    if (!m_digits.HasValue() || m_headers == nullptr) return;
    const std::int64_t version = m_digits.Value();
    const std::int64_t expected = m_headers->ExpectedVersion;
    if (version == expected) {
        m_headers->VersionComparison = MastheadVersion::kEqual;
    } else if (m_headers->VersionComparison == MastheadVersion::kNone) {
        m_headers->VersionComparison = version < expected ? MastheadVersion::kLower : MastheadVersion::kHigher;
    }
}

void MastheadHeaderSetMaker::TextReceiver::Begin() {
    m_fill = FillBuffer(m_bytes, m_bytes + m_capacity);
    m_filler.SetUp(m_fill, m_copy).Begin();
}

void MastheadHeaderSetMaker::TextReceiver::Receive(const Byte* begin, const Byte* end) {
    m_filler.Receive(begin, end);
}

void MastheadHeaderSetMaker::TextReceiver::End() {
    *m_length = static_cast<std::size_t>(m_fill.position - m_fill.start);
    m_filler.End();
}

// The relevance goes to the header set before the signature is checked: refusing an outsized one
// here keeps an unsigned file from making the reader allocate without bound.
void MastheadHeaderSetMaker::RelevanceReceiver::Receive(const Byte* begin, const Byte* end) {
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (length > kMaximumRelevanceBytes - m_target->size()) throw MastheadRelevanceTooLong();
    m_target->append(reinterpret_cast<const char*>(begin), length);
}

MastheadHeaderSetMaker::MastheadHeaderSetMaker(MastheadHeaderSet& headers, DataReceiver* relevanceCompanion)
    : m_headers(&headers),
      m_relevanceCompanion(relevanceCompanion != nullptr ? relevanceCompanion : &IgnoreDataReceiver::Instance()),
      m_relevance(headers.Relevance) {
    m_period.SetTarget(headers.UpdateFrequency);
    m_version.SetTarget(headers);
}

void MastheadHeaderSetMaker::Begin() {
    MastheadHeaderSet& h = *m_headers;
    for (auto* text : {&h.OrganizationCommonName, &h.Organization, &h.From, &h.Subject, &h.WebPage, &h.SiteBBS,
                       &h.SiteLocation, &h.GatherURL, &h.SiteName, &h.AbsoluteDirectory, &h.Date, &h.ReportURL,
                       &h.MirrorGatherURL, &h.MirrorDownloadURL, &h.RegistrationURL, &h.ActionLockOmitSite})
        text->Clear();
    h.Assertion.Clear();
    h.Codicil.Clear();
    h.ActionLockController.Clear();
    h.ActionLockInitial.Clear();
    h.Relevance.clear();
    h.OmittedSites.clear();
    h.UpdateFrequency = kDefaultMastheadUpdatePeriod;
    h.SerialNumber = 0;
    h.VersionComparison = MastheadVersion::kNone;
    h.UniqueSiteID = 0;
    h.RequireFipsCryptography = 0;
}

// A repeated omit-site line pushes the value held so far onto the list, so every value but the last
// ends up there and the last stays in the field.
DataReceiver& MastheadHeaderSetMaker::OmittedSiteReceiver() {
    MastheadHeaderSet& h = *m_headers;
    if (!h.ActionLockOmitSite.IsEmpty()) {
        h.OmittedSites.push_back(h.ActionLockOmitSite.Text());
        h.ActionLockOmitSite.Clear();
    }
    return m_text.SetTarget(h.ActionLockOmitSite);
}

DataReceiver& MastheadHeaderSetMaker::Header(ConstData name) {
    MastheadHeaderSet& h = *m_headers;
    struct TextField {
        std::string_view name;
        MastheadText256 MastheadHeaderSet::*field;
    };
    static constexpr TextField kTexts[] = {
        {"x-organization-common-name", &MastheadHeaderSet::OrganizationCommonName},
        {"organization", &MastheadHeaderSet::Organization},
        {"from", &MastheadHeaderSet::From},
        {"subject", &MastheadHeaderSet::Subject},
        {"x-web-page", &MastheadHeaderSet::WebPage},
        {"x-mendle-site-bbs", &MastheadHeaderSet::SiteBBS},
        {"x-mendle-site-location", &MastheadHeaderSet::SiteLocation},
        {"x-mendle-site-gather-url", &MastheadHeaderSet::GatherURL},
        {"x-mendle-site-name", &MastheadHeaderSet::SiteName},
        {"x-site-location-absolute-directory", &MastheadHeaderSet::AbsoluteDirectory},
        {"date", &MastheadHeaderSet::Date},
        {"x-mendle-site-report-url", &MastheadHeaderSet::ReportURL},
        {"x-kvr-mirror-gather-url", &MastheadHeaderSet::MirrorGatherURL},
        {"x-kvr-mirror-download-url", &MastheadHeaderSet::MirrorDownloadURL},
        {"x-mendle-site-registration-url", &MastheadHeaderSet::RegistrationURL},
    };
    for (const TextField& entry : kTexts)
        if (NameIs(name, entry.name)) return m_text.SetTarget(h.*entry.field);

    if (NameIs(name, "x-mendle-site-assertion")) return m_text.SetTarget(h.Assertion);
    if (NameIs(name, "x-mendle-site-codicil")) return m_text.SetTarget(h.Codicil);
    if (NameIs(name, "x-kvr-action-lock-controller")) return m_text.SetTarget(h.ActionLockController);
    if (NameIs(name, "x-kvr-action-lock-initial")) return m_text.SetTarget(h.ActionLockInitial);
    if (NameIs(name, "x-kvr-action-lock-omit-site")) return OmittedSiteReceiver();
    if (NameIs(name, "x-mendle-site-update-frequency")) return m_period;
    if (NameIs(name, "x-mendle-site-masthead-version")) return m_version;
    if (NameIs(name, "x-relevant-when")) return m_relevanceTee.SetTargets(m_relevance, *m_relevanceCompanion);
    if (NameIs(name, "x-mendle-site-serial-number")) {
        m_integer.SetTarget(&h.SerialNumber);
        return m_integer;
    }
    if (NameIs(name, "x-mendle-site-unique-site-id")) {
        m_integer.SetTarget(&h.UniqueSiteID);
        return m_integer;
    }
    if (NameIs(name, "x-kvr-require-fips-cryptography")) {
        m_integer.SetTarget(&h.RequireFipsCryptography);
        return m_integer;
    }
    return IgnoreDataReceiver::Instance();
}
