// HTTPResponseWriter: the events of a response written out as an HTTP/1.0 reply.
//
// ReceiveStatus begins the output and writes "HTTP/1.0 <code> <reason>" and a CR LF; each field is
// written as "<name>: <value>" and a CR LF, the value going straight to the output; EndHeaders writes
// the empty line and hands out the output for the body; EndResponse ends the output. Field values
// and the body pass through unchanged: the caller writes no CR or LF into them.
//
// The output is not owned and is set before use. One thread at a time.
#pragma once

#include "formats/message_receivers.h"
#include "foundation/data_stages.h"

class HTTPResponseWriter : public HTTPResponseReceiver {
  public:
    HTTPResponseWriter() = default;
    explicit HTTPResponseWriter(DataReceiver& output) { SetOutput(output); }

    void SetOutput(DataReceiver& output) {
        m_output = &output;
        m_appender.SetTarget(output);
    }

    void ReceiveStatus(unsigned code, ConstData reason) override;
    DataReceiver& ReceiveHeaderName(ConstData name) override;
    void EndHeaderValue() override;
    DataReceiver& EndHeaders() override;
    void EndResponse() override;

  private:
    DataReceiver* m_output = nullptr;
    // The output without its Begin and End, for values and the body.
    DataAppender m_appender;
};
