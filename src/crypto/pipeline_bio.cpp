#include "crypto/pipeline_bio.h"

#include <cstring>
#include <memory>

namespace {

// BIO control requests that the bridge answers.
constexpr int kControlEndOfData = BIO_CTRL_EOF;       // 2
constexpr int kControlPending = BIO_CTRL_PENDING;     // 10
constexpr int kControlFlush = BIO_CTRL_FLUSH;         // 11

struct MethodDeleter {
    void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};
using MethodHolder = std::unique_ptr<BIO_METHOD, MethodDeleter>;

int CreateBridge(BIO*) { return 1; }
// The reader or receiver belongs to the caller: destroying the object leaves it alone.
int DestroyBridge(BIO*) { return 1; }

DataReader& ReaderOf(BIO* object) { return *static_cast<DataReader*>(BIO_get_data(object)); }
DataReceiver& ReceiverOf(BIO* object) { return *static_cast<DataReceiver*>(BIO_get_data(object)); }

int ReaderBIORead(BIO* object, char* buffer, int length) {
    try {
        DataReader& reader = ReaderOf(object);
        if (reader.AtEnd()) return 0;
        OutputRange range(buffer, buffer + (length > 0 ? length : 0));
        reader.ReadSome(range);
        return static_cast<int>(range.begin - reinterpret_cast<Byte*>(buffer));
    } catch (...) {
        return -1;
    }
}

long ReaderBIOCtrl(BIO* object, int request, long, void*) {
    try {
        switch (request) {
            case kControlEndOfData: return ReaderOf(object).AtEnd() ? 1 : 0;
            case kControlPending: return ReaderOf(object).AtEnd() ? 0 : 1;
            default: return 0;
        }
    } catch (...) {
        return 0;
    }
}

int ReceiverBIOWrite(BIO* object, const char* buffer, int length) {
    try {
        if (length > 0) ReceiverOf(object).Receive(ConstData(buffer, static_cast<std::size_t>(length)));
        return length;
    } catch (...) {
        return -1;
    }
}

int ReceiverBIOPuts(BIO* object, const char* text) {
    try {
        std::size_t length = std::strlen(text);
        ReceiverOf(object).Receive(ConstData(text, length));
        return static_cast<int>(length);
    } catch (...) {
        return -1;
    }
}

long ReceiverBIOCtrl(BIO*, int request, long, void*) { return request == kControlFlush ? 1 : 0; }

MethodHolder MakeMethod(const char* name) {
    MethodHolder method(BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, name));
    if (!method) throw NewBIOFailed();
    BIO_meth_set_create(method.get(), CreateBridge);
    BIO_meth_set_destroy(method.get(), DestroyBridge);
    return method;
}

MethodHolder MakeReaderMethod() {
    MethodHolder method = MakeMethod("data reader");
    BIO_meth_set_read(method.get(), ReaderBIORead);
    BIO_meth_set_ctrl(method.get(), ReaderBIOCtrl);
    return method;
}

MethodHolder MakeReceiverMethod() {
    MethodHolder method = MakeMethod("data writer");
    BIO_meth_set_write(method.get(), ReceiverBIOWrite);
    BIO_meth_set_puts(method.get(), ReceiverBIOPuts);
    BIO_meth_set_ctrl(method.get(), ReceiverBIOCtrl);
    return method;
}

BIOHolder NewBridge(const BIO_METHOD* method, void* stage) {
    BIOHolder object = NewBIO(method);
    BIO_set_data(object.Get(), stage);
    BIO_set_init(object.Get(), 1);
    return object;
}

}  // namespace

const BIO_METHOD* ReaderBIOMethod() {
    static const MethodHolder method = MakeReaderMethod();
    return method.get();
}

const BIO_METHOD* ReceiverBIOMethod() {
    static const MethodHolder method = MakeReceiverMethod();
    return method.get();
}

BIOHolder NewReaderBIO(DataReader& reader) {
    ClearOpenSSLErrors();
    return NewBridge(ReaderBIOMethod(), &reader);
}

BIOHolder NewReceiverBIO(DataReceiver& receiver) {
    ClearOpenSSLErrors();
    return NewBridge(ReceiverBIOMethod(), &receiver);
}
