#include "relay/download/download_plugin_downloads_file.h"

#include <limits>

#include "base/numerals.h"
#include "formats/json_writer.h"

namespace {

void WriteUnsigned(JSONTextWriter& writer, std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) throw NumeralTooLarge();
    writer.WriteInteger(static_cast<std::int64_t>(value));
}

void WriteDownload(JSONTextWriter& writer, std::uint64_t downloadID, const PluginDownload& download) {
    const DownloadRequestTarget& target = download.target;
    writer.BeginObject().WriteKey("id");
    WriteUnsigned(writer, downloadID);
    writer.WriteKey("file").WriteString(download.destination.GetPathString());
    writer.WriteKey("url");
    if (target.GetURL())
        writer.WriteString(*target.GetURL());
    else
        writer.WriteNull();
    writer.WriteKey("sha1");
    if (target.GetSha1())
        writer.WriteString(*target.GetSha1());
    else
        writer.WriteNull();
    writer.WriteKey("size");
    if (target.GetSize())
        WriteUnsigned(writer, *target.GetSize());
    else
        writer.WriteNull();
    writer.EndObject();
}

}  // namespace

std::string DownloadPluginDownloadsText(std::uint64_t processID, const FileLocation& inboxFolder,
                                        const PluginDownloads& downloads) {
    UStringBuilder<UTF8> text;
    JSONTextWriter writer(&text, JSONTextWriter::Layout::Indented);
    writer.Begin().BeginObject().WriteKey("id");
    WriteUnsigned(writer, processID);
    writer.WriteKey("inbox").WriteString(inboxFolder.GetPathString());
    writer.WriteKey("downloads").BeginArray();
    for (const auto& [downloadID, download] : downloads) WriteDownload(writer, downloadID, download);
    writer.EndArray().EndObject().Finish();
    return text.Take();
}
