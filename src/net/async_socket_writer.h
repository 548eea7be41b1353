// Non-blocking output of a served connection.
//
// - AsyncDataWriter takes what it can of a byte range without waiting; AsyncSocketWriter is the one
//   over a connection's socket (a full socket takes nothing), which can also send a stretch of an
//   open file straight from the kernel's cache when the connection has no TLS.
// - AsyncDataReceiver is the connection's outgoing buffer: the pipeline stage that collects a
//   reply, and from whose front Pump writes as much as the budget and the writer allow.
//
// Each belongs to one connection and is used on the server's loop thread only. The writer does not
// own the connection, which must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/data_pipeline.h"
#include "net/socket_connection.h"
#include "platform/file_paths.h"

class AsyncDataWriter {
  public:
    virtual ~AsyncDataWriter() = default;
    // Writes what can be written of the range now; answers the bytes taken.
    virtual std::size_t Write(ConstData range) = 0;
};

class AsyncSocketWriter : public AsyncDataWriter {
  public:
    explicit AsyncSocketWriter(SocketConnection& connection) : m_connection(connection) {}

    // Answers 0 when the socket is full; other failures throw the socket error kind.
    std::size_t Write(ConstData range) override;
    // While set, what Write sends may wait in the system for the next send (SendFile, or a Write
    // once it is cleared) and go out in one packet with it.
    void SetMoreFollows(bool moreFollows) { m_moreFollows = moreFollows; }

    // True when file bytes may go to the socket without passing through the process (no TLS).
    bool CanSendFiles() const { return !m_connection.HasTLS(); }
    // Sends up to `count` bytes of the file from `position`; answers the bytes taken (0 when the
    // socket is full). Only when CanSendFiles. EndOfFileError when the file ends before `position`
    // + 1; socket failures throw the socket error kind.
    std::size_t SendFile(const PosixPlatform::FileReadingPath& file, std::uint64_t position,
                         std::size_t count);

  private:
    SocketConnection& m_connection;
    bool m_moreFollows = false;
};

class AsyncDataReceiver : public DataReceiver, public DataWriter {
  public:
    // Empties the buffer.
    void Begin() override;
    // Appends the bytes, growing the buffer as needed.
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override {}

    std::size_t GetSize() const { return m_end - m_start; }
    bool IsEmpty() const { return m_end == m_start; }

    // Writes at most `budget` of the buffered bytes through the writer and drops what it took from
    // the front; answers that count.
    std::size_t Pump(AsyncDataWriter& writer, std::size_t budget);

  private:
    std::unique_ptr<Byte[]> m_block;
    std::size_t m_capacity = 0;
    std::size_t m_start = 0;
    std::size_t m_end = 0;
};
