// DownloadRequestTarget: one download that a client or a child relay asks this relay for, its text
// form and its order.
//
// Five optional fields, in this order: the action identifier, the index of the download within its
// action, the SHA-1 digest of the file, its size in bytes and the URL it comes from. A target always
// has an action identifier and takes one of three shapes:
//
//   URL request   nothing else: the action's list of download URLs is wanted
//   indexed       index and URL, with or without digest and size: the action's download number index
//   dynamic       URL, digest and size, no index: a download known only by its content
//
// A digest, when present, is a whole SHA-1 of 20 bytes: the cache files its content under that
// digest, and an empty or cut digest would name the wrong file. Building a target of any other shape,
// or with a digest of another length, throws NotADownloadRequestTarget, so a target that exists is
// always one of the three. A value type: copy it freely, share nothing.
//
// The text form (downloadRequestTargetText, ParseDownloadRequestTarget), written in log lines and
// carried in the relay's line formats:
//
//   aid=<action>,index=<index>,sha1=<digest>,size=<size>,url=<URL>
//
// numbers in unsigned decimal, the digest as 40 lower-case hexadecimal digits, the URL percent-encoded
// with only A-Z a-z 0-9 - . _ ~ left as they are (so a value never holds "," or "="), and an absent
// field as "null". Example: aid=12,index=0,sha1=null,size=5000,url=a%20b%2Cc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "formats/digest_record.h"

class NotADownloadRequestTarget : public DebuggableException {};
// A target text with fewer than five "key=value" fields.
class NextValueException : public DebuggableException {};

constexpr std::size_t kSha1DigestLength = 20;

class DownloadRequestTarget {
  public:
    DownloadRequestTarget(std::optional<std::uint32_t> actionID, std::optional<std::uint32_t> index,
                          std::optional<DigestRecord> sha1, std::optional<std::uint64_t> size,
                          std::optional<std::string> url);

    // The three shapes; each throws NotADownloadRequestTarget as the general constructor does.
    static DownloadRequestTarget URLRequest(std::uint32_t actionID);
    static DownloadRequestTarget Indexed(std::uint32_t actionID, std::uint32_t index, std::string url,
                                         std::optional<DigestRecord> sha1 = std::nullopt,
                                         std::optional<std::uint64_t> size = std::nullopt);
    static DownloadRequestTarget Dynamic(std::uint32_t actionID, DigestRecord sha1, std::uint64_t size,
                                         std::string url);

    bool IsURLRequest() const;
    bool IsIndexed() const;
    bool IsDynamic() const;

    const std::optional<std::uint32_t>& GetActionID() const { return m_actionID; }
    const std::optional<std::uint32_t>& GetIndex() const { return m_index; }
    const std::optional<DigestRecord>& GetSha1() const { return m_sha1; }
    const std::optional<std::uint64_t>& GetSize() const { return m_size; }
    const std::optional<std::string>& GetURL() const { return m_url; }

  private:
    std::optional<std::uint32_t> m_actionID;
    std::optional<std::uint32_t> m_index;
    std::optional<DigestRecord> m_sha1;
    std::optional<std::uint64_t> m_size;
    std::optional<std::string> m_url;
};

// The text form above.
std::string downloadRequestTargetText(const DownloadRequestTarget& target);

// Reads the text form. The five values are taken by position: each begins after the next "=" and
// ends before the next "," or at the end of the text, whatever key stands in front of it, and anything
// after the fifth is ignored. Exactly "null" leaves a field absent ("NULL" is a value). Throws
// NextValueException when fewer than five "=" are found; NotANumeral or NumeralTooLarge for a number
// that is not unsigned decimal or does not fit (32 bits for the action and index, 64 for the size);
// NotADownloadRequestTarget for a digest that is not exactly 40 hexadecimal digits (either case) or
// values of no shape.
DownloadRequestTarget ParseDownloadRequestTarget(std::string_view text);

// A SHA-1 written as text in the relay's line formats: exactly 40 hexadecimal digits, either case; none
// for any other text. (The hex decoder alone would skip other bytes and drop an odd digit.)
std::optional<DigestRecord> Sha1FromHexText(std::string_view text);

// The values of a "key=value,key=value" text, taken one after the other by position, as the target
// text and the download response line are read: each value begins after the next "=" and ends before
// the next "," or at the end of the text, whatever key stands in front of it. Views into the text,
// which must outlive the reader.
class PositionalValueReader {
  public:
    explicit PositionalValueReader(std::string_view text) : m_text(text) {}

    // The next value, or none when it is exactly "null"; NextValueException when no "=" is left.
    std::optional<std::string_view> Next();

  private:
    std::string_view m_text;
    std::size_t m_position = 0;
};

// The key order of every set and map of targets: the action, then the digest, size, index and URL;
// the first field that differs decides, a present value sorts before an absent one, numbers compare
// as unsigned values, digests and URLs by their bytes (unsigned, a proper prefix first). Targets with
// equal fields are equivalent.
struct DownloadRequestTargetLess {
    bool operator()(const DownloadRequestTarget& a, const DownloadRequestTarget& b) const;
};
