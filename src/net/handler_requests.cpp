#include "net/handler_requests.h"

#include <memory>
#include <string_view>

#include "net/curl_request_sender.h"
#include "net/http_handler_adapters.h"
#include "net/http_request_context.h"
#include "net/proxy_authentication.h"

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
