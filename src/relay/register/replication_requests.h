// The client-register plug-in's two replication request types, served on the request's own thread.
//
// "Replicate" asks this server for replication records. Only a root server provides them, so the
// relay always refuses it with "Only root servers will provide client registration replication
// data.", which the plug-in's dispatch answers as its error body.
//
// "TriggerReplicate" posts a new replication server list (replication_server_list.h): it is stored
// in a temporary file, checked and installed over the configured list, and then the relay replicates
// from the servers of the new list (ClientRegistrationList::ReplicateFromServers) before it answers
// with an empty body. A list that cannot be installed (not complete XML, a repeated ServerID, a value
// that does not convert, a body cut short) leaves the installed list as it was, asks no server, and
// throws its error for the dispatch to answer. A server that fails is logged and does not change the
// reply. Both are POST-only; the dispatch applies that rule.
#pragma once

class ClientRegistrationList;
class ClientWriter;
class DataReader;
class GetStopFunctor;

// Throws ExceptionPL "Only root servers will provide client registration replication data.".
[[noreturn]] void AnswerReplicateRequest();

// Reads the posted body (the request's, which ends at its Content-Length) into a temporary file,
// installs it in `list`, replicates (polling `stop`) and sends the empty status-200 reply.
void ServeTriggerReplicateRequest(DataReader& body, ClientWriter& writer, ClientRegistrationList& list,
                                  GetStopFunctor& stop);
