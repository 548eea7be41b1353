// ServeDownloadPlugins: the download plug-in steps of one pass of the loop that drives the download
// manager, run before the manager's work pass, each behind its own failure barrier (guarded_step.h):
//
//   1. DownloadPluginManager::MarkDeadPlugins              "Exception in MarkDeadPlugins: "
//   2. every "plugin_*" entry of the inbox folder          "Exception in plugin_* processing loop: "
//      - a file goes through ProcessPluginFile             "Failed to process plugin_* file: "
//      - then the entry is deleted (a file or link removed, an empty folder removed, a full one left;
//        failures ignored), so a bad message is tried once only; a file that ProcessPluginFile finds
//        still being written stays for a later pass
//   3. DownloadPluginManager::SweepDeadPlugins             "Exception in SweepDeadPlugins: "
//
// Names match "plugin_*" ignoring ASCII case, as every inbox scan does. Runs on the manager's thread.
#pragma once

#include "base/file_location.h"
#include "relay/download/download_plugin_manager.h"

void ServeDownloadPlugins(DownloadPluginManager& plugins, const FileLocation& inboxFolder);
