#include "formats/file_list_reader.h"

#include "formats/compressed_file.h"
#include "formats/message_maker.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "foundation/whole_file.h"

namespace {

// Builds the chain in front of the list and runs `feed` into it.
template <class Feed>
void ReadInto(STDFileList& list, std::uint32_t baseVersion, FileListPartVerifier* verifier, Feed feed) {
    list.Clear();
    try {
        STDFileListMaker listMaker(list, baseVersion);
        MultipartFileListMaker lists;
        lists.Reset(listMaker, verifier);
        MessageMaker message(lists);
        LineMaker lines(message);
        ByteLimitedReceiver<> bounded;
        bounded.SetUp(lines, kMaximumFileListBytes);
        CompressionRemover expanded(bounded);
        feed(expanded);
    } catch (...) {
        list.Clear();
        throw;
    }
}

}  // namespace

void ReadFileList(const FileLocation& location, std::uint32_t baseVersion, STDFileList& list,
                  FileListPartVerifier* verifier) {
    ReadInto(list, baseVersion, verifier, [&](DataReceiver& receiver) { FeedFileToReceiver(location, receiver); });
}

void ReadFileListBytes(ConstData bytes, std::uint32_t baseVersion, STDFileList& list,
                       FileListPartVerifier* verifier) {
    ReadInto(list, baseVersion, verifier, [&](DataReceiver& receiver) { ReceiveComplete(receiver, bytes); });
}
