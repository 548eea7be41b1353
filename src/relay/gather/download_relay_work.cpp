#include "relay/gather/download_relay_work.h"

#include "relay/download/download_plugin_inbox.h"

void DownloadRelayWork::ServePlugins(const FileLocation& inboxFolder) {
    ServeDownloadPlugins(m_plugins, inboxFolder);
}
