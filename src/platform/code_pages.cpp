#include "platform/code_pages.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <string>

#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

constexpr unsigned kUTF8CodePage = 65001;
constexpr const char* kNativeUTF16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

std::string IconvName(unsigned codePage) {
    switch (codePage) {
        case kUTF8CodePage:
            return "UTF-8";
        case 1200:
            return "UTF-16LE";
        case 1201:
            return "UTF-16BE";
        case 20127:
            return "US-ASCII";
        case 54936:
            return "GB18030";
        default:
            break;
    }
    if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

class IconvHandle {
  public:
    IconvHandle(const std::string& to, const std::string& from)
        : m_handle(iconv_open(to.c_str(), from.c_str())) {
        if (m_handle == reinterpret_cast<iconv_t>(-1)) throw Posix::Error(errno == 0 ? EINVAL : errno);
    }
    ~IconvHandle() { iconv_close(m_handle); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    // Converts `input` and appends the result to `output`. At a unit that cannot be converted it calls
    // `replace(input, left)`, which appends a replacement and returns how many input bytes to skip.
    // An incomplete character at the end of the input is replaced like an invalid one.
    template <class Output, class Replace>
    void ConvertInto(Output& output, const char* input, std::size_t left, Replace replace) {
        using Char = typename Output::value_type;
        char* in = const_cast<char*>(input);
        while (left != 0) {
            std::size_t used = output.size();
            output.resize(used + left * 4 / sizeof(Char) + 4);
            char* out = reinterpret_cast<char*>(output.data() + used);
            std::size_t room = (output.size() - used) * sizeof(Char);
            std::size_t result = iconv(m_handle, &in, &left, &out, &room);
            int error = errno;
            output.resize(output.size() - room / sizeof(Char));
            if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
            if (error != EILSEQ && error != EINVAL) throw Posix::Error(error);
            std::size_t skipped = replace(output, in, left);
            in += skipped;
            left -= skipped;
        }
        // A stateful encoding returns to its initial shift state at the end of the text.
        Char tail[16];
        char* out = reinterpret_cast<char*>(tail);
        std::size_t room = sizeof tail;
        iconv(m_handle, nullptr, nullptr, &out, &room);
        output.append(tail, (sizeof tail - room) / sizeof(Char));
    }

  private:
    iconv_t m_handle;
};

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::u16string DecodeCodePage(unsigned codePage, ConstData bytes) {
    IconvHandle handle(kNativeUTF16, IconvName(codePage));
    std::u16string text;
    handle.ConvertInto(text, bytes.Chars(), bytes.Length(),
                       [](std::u16string& output, const char*, std::size_t) {
                           output.push_back(u'\uFFFD');
                           return std::size_t{1};
                       });
    return text;
}

std::string EncodeCodePage(unsigned codePage, std::u16string_view text) {
    IconvHandle handle(IconvName(codePage), kNativeUTF16);
    // The replacement is converted by a second handle: it is valid in every code page.
    IconvHandle replacementHandle(IconvName(codePage), kNativeUTF16);
    const std::u16string_view replacement = codePage == kUTF8CodePage ? u"\uFFFD" : u"?";
    std::string bytes;
    auto replace = [&](std::string& output, const char* at, std::size_t left) {
        replacementHandle.ConvertInto(output, reinterpret_cast<const char*>(replacement.data()),
                                      replacement.size() * sizeof(char16_t),
                                      [](std::string&, const char*, std::size_t left) { return left; });
        // A character outside the code page takes two units when it is a surrogate pair.
        auto* unit = reinterpret_cast<const char16_t*>(at);
        bool pair = left >= 4 && IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1]);
        return std::min(left, pair ? std::size_t{4} : std::size_t{2});
    };
    handle.ConvertInto(bytes, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t),
                       replace);
    return bytes;
}

}  // namespace PosixPlatform
