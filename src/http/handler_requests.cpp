#include "http/handler_requests.h"

#include <memory>
#include <string_view>

#include "formats/header_maker.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"
#include "foundation/file_reader.h"
#include "foundation/file_replacing_data_sink.h"
#include "http/curl_request_sender.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_handler_adapters.h"
#include "http/http_request_context.h"
#include "http/proxy_authentication.h"
#include "platform/file_paths.h"

namespace {

// A response into a HeaderHandler: the rebuilt head to ReceiveResponseHeaders, the body counted and,
// when a body file is set, written to it.
class HeaderHandlerResponseReceiver : public ResponseHeadRebuilder {
  public:
    HeaderHandlerResponseReceiver(HeaderHandler& handler, const FileLocation& bodyFile)
        : m_handler(handler), m_bodyFile(bodyFile) {}

    DataReceiver& EndHeaders() override {
        m_handler.ReceiveResponseHeaders(EndHeadText().c_str());
        if (m_bodyFile.IsEmpty()) return m_counter;
        m_file.Open(m_bodyFile);
        return m_tee.SetTargets(m_file, m_counter);
    }

    std::uint64_t BodyBytes() const { return m_counter.Count(); }

  private:
    HeaderHandler& m_handler;
    FileLocation m_bodyFile;
    FileReplacingDataSink m_file;
    DataCounter m_counter;
    DataTee2 m_tee;
};

class StopFunctorInterruptor : public Interruptor {
  public:
    explicit StopFunctorInterruptor(GetStopFunctor& stop) : m_stop(stop) {}
    void CheckForInterruption() override {
        if (m_stop.ShouldStop()) throw StopRequest();
    }

  private:
    GetStopFunctor& m_stop;
};

// The request of GetWithHeaderHandler (no file to post) or PostFileWithHeaderHandler.
HandlerRequestResult RunHeaderHandlerRequest(std::string_view url, const FileLocation* postFile,
                                             const FileLocation& bodyFile, std::uint64_t& bodyBytes,
                                             HeaderHandler& handler, GetStopFunctor& stop,
                                             const HTTPClientSession& session) {
    bodyBytes = 0;
    try {
        StopFunctorInterruptor interruptor(stop);
        HeaderHandlerResponseReceiver response(handler, bodyFile);
        HTTPRequestContext context;
        context.SetInterruptor(interruptor);
        std::unique_ptr<HTTPRequestReceiver> sender = MakeCurlRequestSender(response, context, session);
        sender->ReceiveRequestLine(ConstData(std::string_view(postFile != nullptr ? "POST" : "GET")),
                                   ConstData(url));
        std::string fields;
        handler.GetRequestHeaders(fields);
        ParseRequestHeaders(ConstData(fields), *sender);
        if (postFile != nullptr) {
            PosixPlatform::FileReadingPath file(*postFile);
            FileReader reader(file);
            PumpData(reader, sender->EndHeaders(reader.GetSize()));
        } else {
            sender->EndHeaders(0);
        }
        sender->EndRequest();
        bodyBytes = response.BodyBytes();
        return {true, {}};
    } catch (...) {
        return {false, CurrentExceptionText()};
    }
}

}  // namespace

void RunHandlerRequest(HttpHandlerBase& handler, const HTTPClientSession& session) {
    HttpHandlerInterruptor interruptor(handler);
    HttpHandlerResponseReceiver response(handler);
    HTTPRequestContext context;
    context.SetInterruptor(interruptor);
    std::unique_ptr<HTTPRequestReceiver> sender = MakeCurlRequestSender(response, context, session);
    ByteString url = handler.GetURL();
    sender->ReceiveRequestLine(ConstData(std::string_view("GET")), url.GetConstData());
    HeadersToRequest fields(*sender);
    handler.WriteRequestHeaders(fields);
    sender->EndHeaders(0);
    sender->EndRequest();
}

void FetchURLIntoReceiver(HttpHandlerBase& handler) {
    RunHandlerRequest(handler, HTTPClientSession());
}

HandlerRequestResult GetWithHeaderHandler(std::string_view url, const FileLocation& bodyFile,
                                          std::uint64_t& bodyBytes, HeaderHandler& handler,
                                          GetStopFunctor& stop, const HTTPClientSession& session) {
    return RunHeaderHandlerRequest(url, nullptr, bodyFile, bodyBytes, handler, stop, session);
}

HandlerRequestResult PostFileWithHeaderHandler(std::string_view url, const FileLocation& postFile,
                                               const FileLocation& bodyFile, std::uint64_t& bodyBytes,
                                               HeaderHandler& handler, GetStopFunctor& stop,
                                               const HTTPClientSession& session) {
    return RunHeaderHandlerRequest(url, &postFile, bodyFile, bodyBytes, handler, stop, session);
}
