// HTTPErrorResponse: a failure that a plug-in answers with an HTTP status of its own choosing, such
// as 503 for a buffer that is full. The text is the reply's body; whoever catches it (the plug-in
// that serves the request) writes the reply with that status.
#pragma once

#include <string>

#include "base/exceptions.h"

class HTTPErrorResponse : public ExceptionPL, public NonDumpableException {
  public:
    HTTPErrorResponse(std::string message, int status) : ExceptionPL(std::move(message)), m_status(status) {}

    int Status() const { return m_status; }

  private:
    int m_status;
};
