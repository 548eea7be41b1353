// "RegistrationList.txt": the registration list on disk, one ClientRegistrationListItem a line.
//
// Plain bytes; each line ends with one LF and holds these fields separated by one TAB, numbers in
// decimal without sign or leading zeros, flags as "1" or "0":
//
//    1 ClientID            required
//    2 Address             required; "Relay:" before the address text when the address is a relay's
//    3 Slot                required
//    4 RegTime             required, seconds since 1970
//    5 RegSequenceNumber   6 ResendPending   7 UpdateSequence   8 IsRelay   9 ParentID
//   10 OriginServer       11 OriginSequence 12 CanHandleMVPings 13 ResendMaximum
//   14 Subnet (IPSubnet text, empty when absent)   15 MACAddress (empty when absent)
//   16 CanForwardWoL
//
// Reading is lenient where older, shorter layouts need it: fields 5 to 16 may be missing or empty
// and then take 0, false or absent; text after field 16 is ignored. Any field that is present and
// does not parse makes the line corrupt, and so do an empty required field and a ClientID of 0.
// Flags are read as decimal numbers, non-zero meaning true.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/data_pipeline.h"
#include "relay/register/client_registration_list_item.h"

// The line of an item, ending with its LF.
std::string FormatRegistrationListLine(const ClientRegistrationListItem& item);

// The item a line (without its line end) describes; none when the line is corrupt.
std::optional<ClientRegistrationListItem> ParseRegistrationListLine(std::string_view line);

// ClientRegistrationLineReceiver: the LineReceiver that reads the file (ReadFileLines), parses every
// line, hands each good item to the consumer in file order and counts the corrupt lines. A last line
// without its LF is read like the others. One thread at a time.
class ClientRegistrationLineReceiver : public LineReceiver {
  public:
    using ItemConsumer = std::function<void(const ClientRegistrationListItem&)>;

    explicit ClientRegistrationLineReceiver(ItemConsumer consumer) : m_consumer(std::move(consumer)) {}

    std::uint64_t CorruptLineCount() const { return m_corruptLines; }

    void Begin(std::uint64_t startOffset) override {}
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    void TakeLine();

    ItemConsumer m_consumer;
    std::string m_line;
    std::uint64_t m_corruptLines = 0;
};
