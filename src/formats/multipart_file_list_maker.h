// MultipartFileListMaker: the top of the file-list reader chain. It is the MessageReceiver of a whole
// file-list message (behind a MessageMaker): a single list, or a multipart/mixed body whose parts may
// be multipart/mixed again, down to kMaximumMixedLevels levels (one more is StackFull). Every other
// part, a leaf, is one list read by a FileListMaker (file_list_maker.h); the lists are merged
// (file_list_merger.h) and the merged list reaches the target once, when the outermost message ends.
// A message without any list is NotAFileList.
//
// With a part verifier, every leaf must be a signed message: the leaf goes to the verifier's signed
// message reader, whose signed content is read as the list, and the verifier accepts or refuses the
// signature when the leaf ends (crypto/signed_file_list.h). Without one, a signed leaf's signature is
// only dropped.
//
// The maker owns its stages; the target and the verifier are not owned. Reset before each message.
// One thread at a time.
#pragma once

#include <array>
#include <cstdint>

#include "base/data_pipeline.h"
#include "formats/content_type.h"
#include "formats/file_list_maker.h"
#include "formats/file_list_merger.h"
#include "formats/message_maker.h"
#include "formats/message_receivers.h"
#include "formats/multipart_splitter.h"
#include "formats/structured_fields.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"

// More multipart/mixed levels than a file-list message may have.
class StackFull : public DebuggableException {};

// The signed-message stage of a leaf part.
class FileListPartVerifier {
  public:
    virtual ~FileListPartVerifier() = default;
    // A leaf begins: the receiver to give the leaf message to, which passes its signed content, as
    // lines, to `content`.
    virtual MessageReceiver& BeginPart(LineReceiver& content) = 0;
    // The leaf has ended: returns when its signature is accepted, throws the refusal otherwise.
    virtual void EndPart() = 0;
};

class MultipartFileListMaker : public MessageReceiver {
  public:
    static constexpr std::size_t kMaximumMixedLevels = 10;

    MultipartFileListMaker();
    MultipartFileListMaker(const MultipartFileListMaker&) = delete;
    MultipartFileListMaker& operator=(const MultipartFileListMaker&) = delete;

    // Forgets any message in progress; the merged list of the next message goes to `target`, and a
    // verifier, when given, checks every leaf.
    void Reset(FileListReceiver& target, FileListPartVerifier* verifier = nullptr);

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t offset) override;
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

  private:
    enum class PartKind { Undecided, Leaf, Mixed };
    // One open multipart/mixed level: its parts come back into this maker one level deeper.
    struct MixedLevel {
        MessageMaker parts;
        MultipartSplitter splitter;
    };
    // Hands the lists of the leaves to the merger; each list's End is the merger's business.
    class MergerInput : public FileListReceiver {
      public:
        explicit MergerInput(FileListMerger& merger) : m_merger(merger) {}
        void Header(const FileListHeader& header) override { m_merger.Header(header); }
        void Entry(FileListEntry entry) override { m_merger.Entry(std::move(entry)); }
        void End() override {}

      private:
        FileListMerger& m_merger;
    };

    LineReceiver& BeginLeaf(std::uint64_t offset);

    FileListReceiver* m_target = nullptr;
    FileListPartVerifier* m_verifier = nullptr;
    // The current part's "content-type": its value kept for the signed stage, and parsed.
    Byte m_contentTypeBytes[512];
    FillBuffer m_contentTypeText;
    DataFilter m_copy;
    BufferFiller m_contentTypeFiller;
    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_contentTypeFields;
    DataTee2 m_contentTypeTee;
    ByteLimitedReceiver<FileListValueTooLong> m_contentTypeValue;
    // Without a verifier the part's own header lines also go to the list reader.
    DataTee2 m_unsignedContentType;
    FileListMaker m_fileList;
    MessageMaker m_signedContent{m_fileList};
    MessageReceiver* m_signedPart = nullptr;
    FileListMerger m_merger;
    MergerInput m_mergerInput{m_merger};
    std::array<MixedLevel, kMaximumMixedLevels> m_levels;
    std::size_t m_openLevels = 0;
    // The kind of each part begun and not ended, outermost first.
    std::array<PartKind, kMaximumMixedLevels + 1> m_parts{};
    std::size_t m_depth = 0;
    std::uint32_t m_leaves = 0;
};
