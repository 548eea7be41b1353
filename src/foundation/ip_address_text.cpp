#include "foundation/ip_address_text.h"

#include "base/numerals.h"

namespace {

void AppendDottedBytes(ConstDataBuffer<60>& text, const Byte* bytes, char separator) {
    for (int i = 0; i < 4; ++i) {
        if (i != 0) text.Append(separator);
        text.Append(FormatDecimalDigits(bytes[i], 1).GetConstData());
    }
}

struct ZeroRun {
    int begin = 0;
    int end = 0;  // exclusive; begin == end when there is no zero group
};

ZeroRun LongestZeroRun(const std::uint16_t* groups, int count) {
    ZeroRun longest;
    for (int i = 0; i < count;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int end = i;
        while (end < count && groups[end] == 0) ++end;
        if (end - i > longest.end - longest.begin) longest = {i, end};
        i = end;
    }
    return longest;
}

}  // namespace

ConstDataBuffer<60> FormatIPAddressText(const IPAddressTextSource& address, bool forceIPv6,
                                        IPv6TextStyle style, char separator, bool withZone,
                                        char zoneSeparator) {
    ConstDataBuffer<60> text;
    const Byte* bytes = address.bytes.data();
    if (!address.isIPv6 && !forceIPv6) {
        AppendDottedBytes(text, bytes + 12, separator ? separator : '.');
        return text;
    }
    const bool colons = separator == 0 || separator == ':';
    separator = colons ? ':' : separator;
    const bool dottedTail =
        colons && (style == IPv6TextStyle::DottedTail || style == IPv6TextStyle::CompressedDottedTail);
    const bool compressed =
        colons && (style == IPv6TextStyle::Compressed || style == IPv6TextStyle::CompressedDottedTail);
    const int groupCount = dottedTail ? 6 : 8;
    std::uint16_t groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    const ZeroRun run = compressed ? LongestZeroRun(groups, groupCount) : ZeroRun{};
    const unsigned digits = style == IPv6TextStyle::Full ? 4 : 1;

    for (int i = 0; i < groupCount; ++i) {
        if (i == run.begin && run.begin != run.end) {
            // One separator stands for the run; with the separator before the next group (or the
            // tail), or an extra one when nothing follows, it shows as "::".
            text.Append(separator);
            if (run.end == groupCount && !dottedTail) text.Append(separator);
            i = run.end - 1;
            continue;
        }
        if (i != 0) text.Append(separator);
        text.Append(FormatHexDigits(groups[i], digits).GetConstData());
    }
    if (dottedTail) {
        text.Append(separator);
        AppendDottedBytes(text, bytes + 12, '.');
    }
    if (withZone && !address.zone.empty()) {
        text.Append(zoneSeparator ? zoneSeparator : '%');
        text.Append(ConstData(address.zone));
    }
    return text;
}
