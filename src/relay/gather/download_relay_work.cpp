#include "relay/gather/download_relay_work.h"

// No external download plug-in is served yet: the download manager starts every download through the
// relay's own downloader.
void DownloadRelayWork::ServePlugins(const FileLocation&) {}
