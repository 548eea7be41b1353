#include "relay/register/replication_requests.h"

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"
#include "http/cgi_response.h"
#include "relay/register/client_registration_list.h"

void AnswerReplicateRequest() {
    throw ExceptionPL("Only root servers will provide client registration replication data.");
}

void ServeTriggerReplicateRequest(DataReader& body, ClientWriter& writer, ClientRegistrationList& list,
                                  GetStopFunctor& stop) {
    TemporaryFile received;
    FileDataSink sink(received.GetPath(), 0, false);
    PumpData(body, sink);
    // The posted list is checked whole before it replaces the installed one, so a broken post never
    // costs the relay its list.
    list.InstallReplicationServerList(received.GetLocation());

    ReplicationServerList servers;
    list.GetReplicationServerList(servers);
    list.ReplicateFromServers(stop, servers);
    SendPlainTextResponse(writer, "", 200, false, false);
}
