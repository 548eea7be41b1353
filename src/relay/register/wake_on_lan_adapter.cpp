#include "relay/register/wake_on_lan_adapter.h"

#include <optional>

#include "base/numerals.h"

namespace {

constexpr std::size_t kMACTextLength = 17;
constexpr std::size_t kLongestIPv4Text = 54;
constexpr std::size_t kLongestIPv6Text = 74;
constexpr char kIPv4LayoutMark = '_';
constexpr char kIPv6LayoutMark = '^';
constexpr char kFieldSeparator = '_';

// The text up to the next separator, which is consumed; none when there is no separator.
std::optional<std::string_view> TakeField(std::string_view& rest) {
    std::size_t separator = rest.find(kFieldSeparator);
    if (separator == std::string_view::npos) return std::nullopt;
    std::string_view field = rest.substr(0, separator);
    rest.remove_prefix(separator + 1);
    return field;
}

// A zone names an interface of the machine that wrote the text, and only IPv6 scoped addresses have
// one. No adapter enumeration gives an IPv4 address a zone, and the IPv4 text form has no room for one:
// it would be dropped when the adapter is written, so the parent would get a different adapter than
// the one read here. Such a text is refused rather than changed on its way.
void RefuseIPv4Zone(const IPAddress& address) {
    if (!address.IsIPv6() && !address.Zone().empty()) throw NotAWakeOnLANAdapterInfo();
}

bool ParseFlag(std::string_view text) {
    if (text == "1") return true;
    if (text == "0") return false;
    throw NotAWakeOnLANAdapterInfo();
}

WakeOnLANAdapter ParseParts(std::string_view text) {
    if (text.size() <= kMACTextLength) throw NotAWakeOnLANAdapterInfo();
    char layout = text[kMACTextLength];
    bool ipv4Layout = layout == kIPv4LayoutMark && text.size() <= kLongestIPv4Text;
    bool ipv6Layout = layout == kIPv6LayoutMark && text.size() <= kLongestIPv6Text;
    if (!ipv4Layout && !ipv6Layout) throw NotAWakeOnLANAdapterInfo();

    WakeOnLANAdapter adapter;
    adapter.macAddress = ParseMACAddress(text.substr(0, kMACTextLength));
    std::string_view rest = text.substr(kMACTextLength + 1);
    std::optional<std::string_view> subnetText = TakeField(rest);
    if (!subnetText) throw NotAWakeOnLANAdapterInfo();
    IPSubnet subnet = ParseIPSubnet(*subnetText);
    RefuseIPv4Zone(subnet.Address());
    if (ipv4Layout) {
        std::optional<std::string_view> addressText = TakeField(rest);
        if (!addressText) throw NotAWakeOnLANAdapterInfo();
        adapter.subnet = subnet;
        adapter.address = ParseIPAddress(*addressText);
        RefuseIPv4Zone(adapter.address);
    } else {
        // The "subnet" of this layout is the adapter address with its prefix length.
        adapter.address = subnet.Address();
        adapter.subnet = IPSubnet(NetworkPart(subnet.Address(), subnet.PrefixLength(), false),
                                  subnet.PrefixLength());
    }
    adapter.canForward = ParseFlag(rest);
    return adapter;
}

}  // namespace

ConstDataBuffer<74> FormatWakeOnLANAdapter(const WakeOnLANAdapter& adapter) {
    ConstDataBuffer<74> text;
    text.Append(adapter.macAddress.ToString().GetConstData());
    if (adapter.address.IsIPv6()) {
        text.Append(kIPv6LayoutMark);
        text.Append(FormatIPAddress(adapter.address).GetConstData());
        text.Append('/');
        text.Append(FormatDecimalDigits(adapter.subnet.PrefixLength(), 1).GetConstData());
    } else {
        text.Append(kIPv4LayoutMark);
        text.Append(adapter.subnet.ToString().GetConstData());
        text.Append(kFieldSeparator);
        text.Append(FormatIPAddress(adapter.address).GetConstData());
    }
    text.Append(kFieldSeparator);
    text.Append(adapter.canForward ? '1' : '0');
    return text;
}

WakeOnLANAdapter ParseWakeOnLANAdapterInfo(std::string_view text) {
    // Every failure of a part's own parser is a malformed adapter text to the caller.
    try {
        return ParseParts(text);
    } catch (const NotAWakeOnLANAdapterInfo&) {
        throw;
    } catch (const DebuggableException&) {
        throw NotAWakeOnLANAdapterInfo();
    }
}
