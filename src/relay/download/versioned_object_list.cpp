#include "relay/download/versioned_object_list.h"

std::vector<DownloadRequestTarget> ReadDownloadRequestTargetList(DataReader& reader, std::size_t mostTargets) {
    std::vector<DownloadRequestTarget> targets;
    VersionedObjectListReceiver<DownloadRequestTargetParser> receiver(targets, mostTargets);
    PumpLines(reader, receiver);
    return targets;
}

void WriteDownloadRequestTargetList(const std::vector<DownloadRequestTarget>& targets,
                                    DataReceiver& receiver) {
    WriteVersionedObjectList(targets, receiver, downloadRequestTargetText);
}
