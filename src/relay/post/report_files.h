// The files a posted report becomes: ReportFiles is the ReportStorage (report_processor.h) of the
// running relay, over the folders and numberings of a PostResultsConfiguration.
//
// - A report for forwarding becomes the next numbered file of the forwarding buffer.
// - A plain report becomes the next numbered file of the buffer folder and, while "CarbonCopyPath" is
//   set, a file of the same name in the carbon-copy folder: PostResultsCollectionDirectoryWriter
//   writes both from one stream.
//
// Each file is written in the temporary folder and takes its name only once complete (with one
// atomic rename, after its data reached the disk), so the forwarder never lists a part of a report.
// The locations object must outlive the storage; a storage and its receivers are used by one thread.
#pragma once

#include <memory>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "foundation/data_stages.h"
#include "foundation/file_replacing_data_sink.h"
#include "relay/post/post_results_configuration.h"
#include "relay/post/report_processor.h"

// One stream into a buffer file and, when a carbon-copy file is given, into that file too. At End the
// buffer file takes its name first, then the copy.
class PostResultsCollectionDirectoryWriter : public DataTee2 {
  public:
    PostResultsCollectionDirectoryWriter(const FileLocation& bufferFile,
                                         const OptionalFileLocation& carbonCopyFile,
                                         const FileLocation& temporaryDirectory);
    PostResultsCollectionDirectoryWriter(const PostResultsCollectionDirectoryWriter&) = delete;
    PostResultsCollectionDirectoryWriter& operator=(const PostResultsCollectionDirectoryWriter&) = delete;
    ~PostResultsCollectionDirectoryWriter() override = default;

  private:
    FileReplacingDataSink m_bufferFile;
    FileReplacingDataSink m_carbonCopyFile;
};

class ReportFiles : public ReportStorage {
  public:
    explicit ReportFiles(PostResultsFileLocations& locations) : m_locations(locations) {}

    std::unique_ptr<DataReceiver> NewForwardingReport() override;
    std::unique_ptr<DataReceiver> NewBufferReport() override;

  private:
    PostResultsFileLocations& m_locations;
};
