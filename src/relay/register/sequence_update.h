// The body of an "UpdateSequenceNumbers" request, "KVRSequenceUpdate 1.0", and how it is applied to
// the registration list. All numbers are big-endian:
//
//    offset  size   field
//     0      21     "KVRSequenceUpdate 1.0" (no terminator; ASCII case ignored)
//    21       4     N, the number of records, unsigned 32-bit
//    25      8 x N  records: computer ID (unsigned 32-bit), value (unsigned 32-bit)
//
// There is no trailer: bytes after the N-th record count as further records. Each record sets the
// UpdateSequence of a listed computer (ClientRegistrationList::SetPendingValue; an unlisted ID is
// counted and ignored). Records are applied as they arrive, so those before a failure stay applied,
// and a concurrent reader of the list may see part of a body.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "relay/register/client_registration_list.h"

class UnsupportedSequenceUpdateHeader : public ExceptionPL {
  public:
    UnsupportedSequenceUpdateHeader() : ExceptionPL("Unsupported sequence update header.") {}
};

// "Sequence update expected <N> records, but received <whole records> records."
class SequenceUpdateCountMismatch : public ExceptionPL {
  public:
    SequenceUpdateCountMismatch(std::uint32_t expected, std::uint32_t received);
};

// Takes the records after the count, cut into chunks in any way, and applies each whole one. End
// throws SequenceUpdateCountMismatch when the whole records received differ from N or part of a
// record is left over. One thread at a time.
class SequenceUpdatingDataSink : public DataReceiver, public DataWriter {
  public:
    static constexpr std::size_t kRecordSize = 8;

    SequenceUpdatingDataSink(ClientRegistrationList& list, std::uint32_t expectedRecords)
        : m_list(list), m_expectedRecords(expectedRecords) {}

    void Begin() override {}
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

    std::uint32_t ReceivedRecords() const { return m_receivedRecords; }

  private:
    void ApplyRecord();

    ClientRegistrationList& m_list;
    std::uint32_t m_expectedRecords;
    std::uint32_t m_receivedRecords = 0;
    Byte m_record[kRecordSize] = {};
    std::size_t m_recordFill = 0;
};

// Reads the whole body and applies its records. A body shorter than the header and count throws
// NoMoreData; a wrong header text UnsupportedSequenceUpdateHeader; a record count that does not
// match SequenceUpdateCountMismatch.
void UpdateSequenceNumbers(DataReader& body, ClientRegistrationList& list);
