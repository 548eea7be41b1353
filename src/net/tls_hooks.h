// The seam through which the crypto subsystem puts TLS under the server's sockets. The socket layer
// knows only these interfaces; the crypto subsystem implements them over its TLS library.
#pragma once

#include <cstddef>
#include <memory>

#include "base/const_data.h"

// One TLS session over an accepted socket, used by one thread at a time. Owned by its connection.
class TLSConnection {
  public:
    virtual ~TLSConnection() = default;
    // Decrypted bytes already held, readable without waiting for the socket.
    virtual std::size_t PendingBytes() = 0;
    // Reads once into the range, advancing its begin; answers the count, 0 when nothing could be
    // decrypted yet (the handshake may still be running). Throws SocketClosedError when the peer has
    // gone (a clean close, an end of data, a close during the handshake), the socket errors otherwise.
    virtual std::size_t Read(OutputRange& range) = 0;
    // Writes once from the range, advancing its begin; answers the count, 0 when the socket takes
    // nothing now. After a 0 the writer calls again with the same first bytes, which may lie elsewhere
    // by then and number more or fewer.
    virtual std::size_t Write(ConstData& range) = 0;
    // Sends the close notification; may throw.
    virtual void Shutdown() = 0;
};

// The server side's certificate and settings; makes one session per accepted socket. Shared by the
// listeners that use it; the sessions it made must stay usable after it is gone.
class TLSServerContext {
  public:
    virtual ~TLSServerContext() = default;
    // The server session over the socket; throws when it can't be made.
    virtual std::unique_ptr<TLSConnection> CreateConnection(int socket) = 0;
};
