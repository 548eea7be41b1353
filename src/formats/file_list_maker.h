// The readers that turn the text of one file list (file_list.h) into FileListReceiver calls.
//
// FileListMaker is the MessageReceiver of the whole message. A multipart/x-directory2 body hands the
// header set to the receiver and splits the body into parts, each read by FileListPartMaker and, when
// it carries no content type, by FileListEntryMaker, which gives at most one entry per part. A
// multipart/signed body is read again as a message by this same maker, behind a SignatureRemover that
// drops the signature (no signature is checked here; multipart_file_list_maker.h verifies). Each
// message's own header lines form the header set, so the unsigned header lines around a signed list
// never count. A message of any other content type, or one that holds no list, is NotAFileList.
//
// FileListHeaderSetMaker stores the header lines into a FileListHeader. Every value is collected
// whole (up to kMaximumFileListValueBytes) and read when it ends.
//
// The makers own their inner stages and not their targets. Start makes the maker ready for another
// list. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/data_pipeline.h"
#include "formats/content_type.h"
#include "formats/file_list.h"
#include "formats/message_maker.h"
#include "formats/message_receivers.h"
#include "formats/multipart_splitter.h"
#include "formats/structured_fields.h"
#include "foundation/data_stages.h"

// Collects one header value into a string; a value longer than kMaximumFileListValueBytes throws
// FileListValueTooLong. At End the owner reads the collected value (ValueEnded).
class FileListValueCollector : public DataReceiver, public DataWriter {
  public:
    class Owner {
      public:
        virtual ~Owner() = default;
        virtual void ValueEnded(int field, const std::string& value) = 0;
    };

    FileListValueCollector& SetUp(Owner& owner, int field) {
        m_owner = &owner;
        m_field = field;
        return *this;
    }

    void Begin() override { m_value.clear(); }
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override { m_owner->ValueEnded(m_field, m_value); }

  private:
    Owner* m_owner = nullptr;
    int m_field = 0;
    std::string m_value;
};

class FileListHeaderSetMaker : private FileListValueCollector::Owner {
  public:
    // Resets the header set to its empty values; the following headers fill it.
    void Begin(FileListHeader& header);
    // The receiver of the named header's value; unknown names are ignored.
    DataReceiver& Header(ConstData name);

  private:
    void ValueEnded(int field, const std::string& value) override;

    FileListHeader* m_header = nullptr;
    FileListValueCollector m_collector;
};

// Reads the field lines of one entry, the header lines of the message inside a part.
class FileListEntryMaker : public MessageReceiver, private FileListValueCollector::Owner {
  public:
    void SetTarget(FileListReceiver& target) { m_target = &target; }

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t) override { return IgnoreLineReceiver::Instance(); }
    // Hands the entry on when it has a type, a URL, a name and a modification time.
    void End(std::uint64_t offset) override;

  private:
    void ValueEnded(int field, const std::string& value) override;

    FileListReceiver* m_target = nullptr;
    FileListValueCollector m_collector;
    FileListEntry m_entry;
    std::string m_cacheName;
    bool m_hasType = false;
    bool m_hasURL = false;
    bool m_hasName = false;
    bool m_hasModified = false;
    bool m_hasCacheName = false;
};

// One part of a multipart/x-directory2 body: skipped when it carries a content type, else its body
// is an entry.
class FileListPartMaker : public MessageReceiver {
  public:
    explicit FileListPartMaker(FileListEntryMaker& entries) : m_entryReader(entries) {}

    void Begin(std::uint64_t) override { m_skipped = false; }
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t) override;
    void End(std::uint64_t) override {}

  private:
    MessageMaker m_entryReader;
    bool m_skipped = false;
};

class FileListMaker : public MessageReceiver {
  public:
    // Signed messages nested deeper than this are NotAFileList.
    static constexpr std::size_t kMaximumSignedNesting = 4;

    FileListMaker();
    FileListMaker(const FileListMaker&) = delete;
    FileListMaker& operator=(const FileListMaker&) = delete;
    ~FileListMaker() override;

    // Forgets any message in progress; the next message is one list for `target`.
    MessageReceiver& Start(FileListReceiver& target);

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

  private:
    enum class Frame { Headers, Signed, Directory };
    struct SignedLevel;

    FileListReceiver* m_target = nullptr;
    FileListHeader m_header;
    FileListHeaderSetMaker m_headerSet;
    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_contentTypeFields;
    ByteLimitedReceiver<FileListValueTooLong> m_contentTypeValue;
    // One frame per message begun and not yet ended: the outer message and the signed ones inside.
    std::vector<Frame> m_frames;
    std::vector<std::unique_ptr<SignedLevel>> m_signedLevels;
    FileListEntryMaker m_entryMaker;
    FileListPartMaker m_partMaker{m_entryMaker};
    MessageMaker m_partReader{m_partMaker};
    MultipartSplitter m_directorySplitter;
    bool m_listDelivered = false;
};
