#include "relay/register/registration_list_file.h"

#include "base/numerals.h"

namespace {

constexpr char kFieldSeparator = '\t';
constexpr char kLineEnd = '\n';
constexpr std::string_view kRelayAddressPrefix = "Relay:";

// Walks the fields of one line: each runs to the next TAB, which is consumed; past the end of the
// line every field is empty.
class FieldCursor {
  public:
    explicit FieldCursor(std::string_view line) : m_rest(line) {}

    std::string_view Next() {
        std::size_t separator = m_rest.find(kFieldSeparator);
        std::string_view field = m_rest.substr(0, separator);
        m_rest.remove_prefix(separator == std::string_view::npos ? m_rest.size() : separator + 1);
        return field;
    }

  private:
    std::string_view m_rest;
};

class CorruptLine {};

// A field the line cannot do without.
std::string_view Required(std::string_view field) {
    if (field.empty()) throw CorruptLine();
    return field;
}

std::uint64_t ReadUInt64(std::string_view field) { return DecimalToUInt64(ConstData(field)); }
std::uint32_t ReadUInt32(std::string_view field) { return DecimalToUInt32(ConstData(field)); }

std::uint32_t OptionalUInt32(std::string_view field) { return field.empty() ? 0 : ReadUInt32(field); }
std::uint64_t OptionalUInt64(std::string_view field) { return field.empty() ? 0 : ReadUInt64(field); }
bool OptionalFlag(std::string_view field) { return OptionalUInt32(field) != 0; }

void ReadAddressField(std::string_view field, ClientRegistrationListItem& item) {
    if (field.starts_with(kRelayAddressPrefix)) {
        item.relayAddress = true;
        field.remove_prefix(kRelayAddressPrefix.size());
    }
    item.address = ParseIPAddress(field);
}

ClientRegistrationListItem ReadFields(std::string_view line) {
    FieldCursor fields(line);
    ClientRegistrationListItem item;
    item.clientID = ReadUInt64(Required(fields.Next()));
    if (item.clientID == 0) throw CorruptLine();
    ReadAddressField(Required(fields.Next()), item);
    item.slot = ReadUInt32(Required(fields.Next()));
    item.regTime = ReadUInt32(Required(fields.Next()));
    item.regSequenceNumber = OptionalUInt32(fields.Next());
    item.resendPending = OptionalFlag(fields.Next());
    item.updateSequence = OptionalUInt32(fields.Next());
    item.isRelay = OptionalFlag(fields.Next());
    item.parentID = OptionalUInt64(fields.Next());
    item.originServer = OptionalUInt32(fields.Next());
    item.originSequence = OptionalUInt64(fields.Next());
    item.canHandleMVPings = OptionalFlag(fields.Next());
    item.resendMaximum = OptionalUInt32(fields.Next());
    if (std::string_view subnet = fields.Next(); !subnet.empty()) item.subnet = ParseIPSubnet(subnet);
    if (std::string_view mac = fields.Next(); !mac.empty()) item.macAddress = ParseMACAddress(mac);
    item.canForwardWoL = OptionalFlag(fields.Next());
    return item;
}

void AppendField(std::string& line, std::string_view text) {
    line += text;
    line += kFieldSeparator;
}

void AppendNumber(std::string& line, std::uint64_t value) {
    AppendField(line, FormatDecimalDigits(value, 1).View());
}

void AppendFlag(std::string& line, bool flag) { AppendField(line, flag ? "1" : "0"); }

}  // namespace

std::string FormatRegistrationListLine(const ClientRegistrationListItem& item) {
    std::string line;
    AppendNumber(line, item.clientID);
    if (item.relayAddress) line += kRelayAddressPrefix;
    AppendField(line, FormatIPAddress(item.address).View());
    AppendNumber(line, item.slot);
    AppendNumber(line, item.regTime);
    AppendNumber(line, item.regSequenceNumber);
    AppendFlag(line, item.resendPending);
    AppendNumber(line, item.updateSequence);
    AppendFlag(line, item.isRelay);
    AppendNumber(line, item.parentID);
    AppendNumber(line, item.originServer);
    AppendNumber(line, item.originSequence);
    AppendFlag(line, item.canHandleMVPings);
    AppendNumber(line, item.resendMaximum);
    AppendField(line, item.subnet ? item.subnet->ToString().View() : std::string_view());
    AppendField(line, item.macAddress ? item.macAddress->ToString().View() : std::string_view());
    line += item.canForwardWoL ? '1' : '0';
    line += kLineEnd;
    return line;
}

std::optional<ClientRegistrationListItem> ParseRegistrationListLine(std::string_view line) {
    // The field readers' own errors (not a numeral, not an address, ...) all mean a corrupt line.
    try {
        return ReadFields(line);
    } catch (const CorruptLine&) {
        return std::nullopt;
    } catch (const DebuggableException&) {
        return std::nullopt;
    }
}

void ClientRegistrationLineReceiver::ReceiveText(const Byte* begin, const Byte* end) {
    m_line.append(reinterpret_cast<const char*>(begin), end - begin);
}

void ClientRegistrationLineReceiver::EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) {
    TakeLine();
}

void ClientRegistrationLineReceiver::End(std::uint64_t total) {
    if (!m_line.empty()) TakeLine();
}

void ClientRegistrationLineReceiver::TakeLine() {
    std::optional<ClientRegistrationListItem> item = ParseRegistrationListLine(m_line);
    m_line.clear();
    if (item)
        m_consumer(*item);
    else
        ++m_corruptLines;
}
