#include "relay/gather/manifest_receiver.h"

#include "foundation/integer_maker.h"
#include "foundation/whole_file.h"
#include "relay/gather/many_version_list.h"

namespace {

std::uint32_t ManifestNumber(std::string_view text) {
    DecimalAccumulator<std::uint32_t> digits;
    digits.Begin();
    const ConstData bytes(text);
    digits.Receive(bytes.begin, bytes.end);
    if (!digits.HasValue()) throw MalformedManifest();
    return digits.Value();
}

}  // namespace

void ManifestReceiver::Begin(std::uint64_t) {
    m_manifest = SiteManifest();
    m_line = Line::Number;
    m_text.clear();
    m_lineHasText = false;
}

void ManifestReceiver::ReceiveText(const Byte* begin, const Byte* end) {
    m_lineHasText = true;
    if (m_line == Line::Ignored) return;
    if (m_text.size() + static_cast<std::size_t>(end - begin) > kMaxManifestLineLength) throw MalformedManifest();
    m_text.append(reinterpret_cast<const char*>(begin), end - begin);
}

void ManifestReceiver::EndLine(std::uint64_t, std::uint64_t) {
    FinishLine();
}

void ManifestReceiver::End(std::uint64_t) {
    if (m_lineHasText) FinishLine();
    if (m_line != Line::Ignored) throw MalformedManifest();
}

void ManifestReceiver::FinishLine() {
    switch (m_line) {
        case Line::Number:
            m_manifest.number = ManifestNumber(m_text);
            m_line = Line::Version;
            break;
        case Line::Version: {
            const std::size_t comma = m_text.find(',');
            m_manifest.version = ManifestNumber(std::string_view(m_text).substr(0, comma));
            if (comma != std::string::npos)
                m_manifest.manyVersion = ManyVersionFromText(std::string_view(m_text).substr(comma + 1));
            m_line = Line::SiteURL;
            break;
        }
        case Line::SiteURL:
            if (m_text.empty()) throw MalformedManifest();
            m_manifest.siteURL = m_text;
            m_line = Line::Ignored;
            break;
        case Line::Ignored:
            break;
    }
    m_text.clear();
    m_lineHasText = false;
}

void ReadManifestFile(const FileLocation& location, SiteManifest& manifest) {
    ManifestReceiver receiver(manifest);
    ReadFileLines(location, receiver);
}
