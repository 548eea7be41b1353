#include "relay/download/downloader.h"

#include "relay/download/service_download_manager.h"

void FailingDownloader::Download(const DownloadRequestTarget& target, const FileLocation&, ThreadGroup&,
                                 ThreadInterruptor&) {
    m_manager.ReportFailure(target, DownloadError{DownloadErrorKind::Generic, "Unknown failure"});
}
