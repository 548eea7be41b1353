#include "net/async_socket_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/file_errors.h"
#include "net/socket_errors.h"

namespace {

constexpr std::size_t kSmallestBlock = 4096;

bool IsWouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK;
}

}  // namespace

std::size_t AsyncSocketWriter::Write(ConstData range) {
    try {
        return m_connection.Write(range, m_moreFollows);
    } catch (const SocketError& error) {
        if (IsWouldBlock(error.Code())) return 0;
        throw;
    }
}

std::size_t AsyncSocketWriter::SendFile(const PosixPlatform::FileReadingPath& file, std::uint64_t position,
                                        std::size_t count) {
    if (count == 0) return 0;
    std::size_t sent = 0;
    int code = file.SendToSocket(m_connection.Handle(), position, count, sent);
    if (IsWouldBlock(code)) return 0;
    if (code != 0) ThrowSocketError(code);
    if (sent == 0) throw EndOfFileError(file.GetLocation().GetConstData(), 0);
    return sent;
}

void AsyncDataReceiver::Begin() {
    m_start = m_end = 0;
}

// The buffered bytes move to the front before the block grows, so a buffer that is written out as
// fast as it is filled keeps its first block.
void AsyncDataReceiver::Receive(const Byte* begin, const Byte* end) {
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length == 0) return;
    if (m_capacity - m_end < length && m_start != 0) {
        std::memmove(m_block.get(), m_block.get() + m_start, m_end - m_start);
        m_end -= m_start;
        m_start = 0;
    }
    if (m_capacity - m_end < length) {
        std::size_t capacity = std::max({kSmallestBlock, 2 * m_capacity, m_end + length});
        auto block = std::make_unique_for_overwrite<Byte[]>(capacity);
        if (m_end != 0) std::memcpy(block.get(), m_block.get(), m_end);
        m_block = std::move(block);
        m_capacity = capacity;
    }
    std::memcpy(m_block.get() + m_end, begin, length);
    m_end += length;
}

std::size_t AsyncDataReceiver::Pump(AsyncDataWriter& writer, std::size_t budget) {
    std::size_t offered = std::min(budget, GetSize());
    if (offered == 0) return 0;
    std::size_t written = writer.Write(ConstData(m_block.get() + m_start, offered));
    m_start += written;
    if (m_start == m_end) m_start = m_end = 0;
    return written;
}
