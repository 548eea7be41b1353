#include "relay/register/replication_requests.h"

#include "base/exceptions.h"
#include "foundation/temporary_files.h"
#include "http/cgi_response.h"
#include "relay/register/client_registration_list.h"

void AnswerReplicateRequest(ClientWriter&, std::uint64_t) {
    throw ExceptionPL("Only root servers will provide client registration replication data.");
}

void ServeTriggerReplicateRequest(ClientWriter& writer, ClientRegistrationList& list, std::uint64_t contentLength,
                                  GetStopFunctor& stop) {
    // The posted list is checked whole before it replaces the installed one (Install), so a broken
    // post never costs the relay its list.
    TemporaryFileLocation received;
    SaveRequestBodyToFile(writer, received.GetLocation(), contentLength);
    list.InstallReplicationServerList(received.GetLocation());

    ReplicationServerList servers;
    list.GetReplicationServerList(servers);
    list.ReplicateFromServers(stop, servers);
    SendPlainTextResponse(writer, "", 200, false, false);
}
