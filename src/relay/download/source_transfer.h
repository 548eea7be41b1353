// TransferFromSource: one attempt at a download target's file from one source URL, into its progress
// file, through a RelayDownloadHttpHandler (relay_download_http_handler.h).
//
// The transport is the libcurl client while "_KVRGather_Comm_UseUrlMoniker" is on (the default; it
// drops the "x-kvr-dynamic-*" request fields), else the socket client with the inactivity time-out
// ("_KVRGather_Download_InactivityTimeout"). Both go through the proxy the parent-relay settings name
// and end with StopRequest at once when the stop event is set. The interruptor stops the libcurl
// transport at once too; the socket client asks it between its steps, so a silent source holds it up
// to the inactivity time-out.
//
// A progress file that already holds the whole file asks for the range that starts at its end. A
// server that refuses that range (416, as servers answer a range starting at the end of a file)
// leaves it to the file: when its size is the size the target must have
// (DownloadState::GetExpectedSize) the transfer has succeeded; otherwise the progress file is deleted
// and the file asked for once more from byte 0.
//
// Returns when the progress file holds the whole file; throws the failure of the attempt otherwise,
// the progress file keeping what arrived. Runs on the calling thread; every referenced object must
// outlive the call.
#pragma once

#include <string>

#include "base/file_location.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"
#include "relay/service/parent_relay_configuration.h"

struct SourceTransfer {
    const DownloadRequestTarget& target;
    const std::string& url;
    const FileLocation& progressFile;
    const DownloadSettingsProvider& settings;
    const ParentRelayConfiguration& parent;
    DownloadState& state;
    Interruptor& interruptor;
    Event& stopEvent;
};

void TransferFromSource(const SourceTransfer& transfer);
