// The "KVRSequenceUpdate 1.0" body over arbitrary bytes, against a list of two computers: it must
// never crash, fail only with the body's own errors, and apply each whole record it accepted. The
// same input fed in chunks of 3 bytes must end the same way.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/const_data_reader.h"
#include "foundation/file_operations.h"
#include "relay/register/sequence_update.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class ChunkReader : public DataReader {
  public:
    explicit ChunkReader(ConstData data) : m_rest(data) {}
    bool AtEnd() override { return m_rest.IsEmpty(); }
    void ReadSome(OutputRange& range) override {
        const std::size_t n = std::min<std::size_t>({3, range.Room(), m_rest.Length()});
        std::copy_n(m_rest.begin, n, range.begin);
        range.begin += n;
        m_rest.begin += n;
    }

  private:
    ConstData m_rest;
};

// A list of computers 1 and 2 in a folder of the process's own, never written back.
ClientRegistrationList& List() {
    static ClientRegistrationList* list = [] {
        char folder[] = "/tmp/sequence_update_fuzz_XXXXXX";
        Check(::mkdtemp(folder) != nullptr);
        const std::string path = std::string(folder) + "/registrationlist.txt";
        const std::string lines = "1\t10.0.0.1\t1\t1700000000\n2\t10.0.0.2\t2\t1700000000\n";
        FILE* file = std::fopen(path.c_str(), "w");
        Check(file != nullptr);
        std::fwrite(lines.data(), 1, lines.size(), file);
        std::fclose(file);
        RegistrationListSettings settings;
        settings.listLocation = FileLocation(path.c_str());
        settings.replicationServerListLocation = FileLocation((std::string(folder) + "/servers.xml").c_str());
        return new ClientRegistrationList(std::move(settings));
    }();
    return *list;
}

// "" on success, else which of the body's errors ended it.
std::string Outcome(DataReader& reader) {
    try {
        UpdateSequenceNumbers(reader, List());
        return "";
    } catch (const NoMoreData&) {
        return "short";
    } catch (const UnsupportedSequenceUpdateHeader&) {
        return "header";
    } catch (const SequenceUpdateCountMismatch& error) {
        return error.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ConstData body(data, size);
    ConstDataReader whole(body);
    const std::string first = Outcome(whole);
    ChunkReader chunks(body);
    Check(Outcome(chunks) == first);
    Check(size >= 25 || first == "short" || first == "header");
    return 0;
}
