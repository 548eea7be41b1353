// The "Manifest" of an archived site (archived_site.h): which site and version the archive holds.
//
// A text file of lines, cut by LineMaker (any common line end; the last line needs none):
//   line 1      a decimal number, kept but not used
//   line 2      the site version in decimal, optionally followed by "," and the many-version list in
//               its text form (many_version_list.h); without the comma the list is empty
//   line 3      the site URL
//   line 4 on   ignored
// Decimal numbers may hold blanks, which are skipped (IntegerMaker's reading).
//
// ManifestReceiver is the LineReceiver that reads it into a SiteManifest, line by line as the text
// arrives. A manifest whose line 1 or version is no 32-bit decimal, that ends before its site URL, or
// whose first three lines exceed kMaxManifestLineLength bytes is MalformedManifest, thrown at the end
// of that line (or of the text). One thread; the manifest record is owned by the caller.
#pragma once

#include <cstdint>
#include <string>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/many_version_maker.h"
#include "relay/gather/site_version.h"

class MalformedManifest : public FormatError {};

struct SiteManifest {
    std::uint32_t number = 0;
    std::uint32_t version = 0;
    // All zero when the manifest names none.
    ManyVersionList manyVersion{};
    std::string siteURL;
    // Never set: an archive answers no request.
    SiteVersion expectedVersion;
};

class ManifestReceiver : public LineReceiver {
  public:
    // Far beyond any site URL a relay accepts.
    static constexpr std::size_t kMaxManifestLineLength = 4096;

    // The manifest is not owned and must outlive the receiver.
    explicit ManifestReceiver(SiteManifest& manifest) : m_manifest(manifest) {}

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    // Finishes a last line without a line end; MalformedManifest when no site URL came.
    void End(std::uint64_t total) override;

  private:
    enum class Line { Number, Version, SiteURL, Ignored };

    void FinishLine();

    SiteManifest& m_manifest;
    Line m_line = Line::Number;
    std::string m_text;
    bool m_lineHasText = false;
};

// Reads the manifest file into `manifest`; the file errors and MalformedManifest.
void ReadManifestFile(const FileLocation& location, SiteManifest& manifest);
