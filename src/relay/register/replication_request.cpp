#include "relay/register/replication_request.h"

#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"
#include "formats/xml_writer.h"
#include "http/http_client.h"
#include "http/http_client_session.h"

namespace {

// Feeds a file's bytes into the tree parser as they are read.
class XMLTreeFeed : public DataReceiver {
  public:
    explicit XMLTreeFeed(XMLTreeParserPL& parser) : m_parser(parser) {}
    void Begin() override {}
    void Receive(const Byte* begin, const Byte* end) override { m_parser.Receive(ConstData(begin, end)); }
    using DataReceiver::Receive;
    void End() override {}

  private:
    XMLTreeParserPL& m_parser;
};

XMLAttributeList SequenceAttributes(std::uint32_t server, std::uint64_t sequence) {
    XMLAttributeList attributes;
    attributes.Add({StringPL("ServerID"), StringPL(std::to_string(server).c_str())});
    attributes.Add({StringPL("SequenceNumber"), StringPL(std::to_string(sequence).c_str())});
    return attributes;
}

void WriteRequestBody(const ServerSequenceMap& sequences, const FileLocation& location) {
    std::string body;
    StringReceiver collector(body);
    WriteServerSequenceList(sequences, collector);
    WriteWholeFile(ConstData(std::string_view(body)), location);
}

}  // namespace

std::string ReplicationRequestURL(const std::string& serverName, std::uint32_t serverPort) {
    bool unbracketedIPv6 = serverName.find(':') != std::string::npos && serverName.front() != '[';
    std::string host = unbracketedIPv6 ? "[" + serverName + "]" : serverName;
    return "http://" + host + ":" + std::to_string(serverPort) + kClientRegisterPath + "?RequestType=Replicate";
}

void WriteServerSequenceList(const ServerSequenceMap& sequences, DataReceiver& out) {
    LineFlattener flattener(out, ConstData(std::string_view("\r\n")));
    XMLWriterPL writer(flattener, XMLLayout::Indented);
    writer.WriteDeclaration(StringPL("ServerSequenceList"), {});
    for (const auto& [server, sequence] : sequences) {
        writer.StartElement("ServerSequence", SequenceAttributes(server, sequence));
        writer.EndElement();
    }
    writer.Finish();
}

void ReplicationRequest(GetStopFunctor& stop, const std::string& serverName, std::uint32_t serverPort,
                        ServerSequenceMap sequences, ListPL<ReplicationRecord>& records) {
    TemporaryFileLocation requestFile;
    TemporaryFileLocation answerFile;
    WriteRequestBody(sequences, requestFile.GetLocation());

    // The servers of the list are reached directly: the proxy settings are those for the parent.
    HTTPClientSession session;
    int status = 0;
    int result = TransferHTTP(ReplicationRequestURL(serverName, serverPort), requestFile.GetLocation(),
                              answerFile.GetLocation(), "", nullptr, status, kReplicationTimeLimit, stop, session);
    if (result != TransferResult::kSuccess)
        throw ExceptionPL("ReplicationRequest: Unable to initiate POST operation (" + std::to_string(result) + ")");
    if (status != 200)
        throw ExceptionPL("ReplicationRequest: Server returned status code " + std::to_string(status) + ".");

    XMLTreeParserPL parser;
    XMLTreeFeed feed(parser);
    FeedFileToReceiver(answerFile.GetLocation(), feed);
    ListPL<ReplicationRecord> received;
    ReadReplicationRecords(parser, received);
    for (const ReplicationRecord& record : received) records.Append(record);
}
