#include "base/file_location.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "base/character_classes.h"

namespace {

constexpr char kSeparator = '/';

// The text up to its first NUL, without trailing separators; a text of separators only is the root.
std::string_view HeldText(const char* text, std::size_t length) {
    std::string_view view(text, length);
    view = view.substr(0, view.find('\0'));
    std::size_t end = view.find_last_not_of(kSeparator);
    if (end == std::string_view::npos) return view.empty() ? view : view.substr(0, 1);
    return view.substr(0, end + 1);
}

}  // namespace

FileLocation::FileLocation(const char* text) {
    if (text) Assign(text, std::strlen(text));
}

FileLocation::FileLocation(const char* text, std::size_t length) {
    Assign(text, length);
}

FileLocation::FileLocation(ConstData text) : FileLocation(text.Chars(), text.Length()) {}

FileLocation::FileLocation(const FileLocation& parent, const FileName& name) {
    if (parent.IsEmpty()) throw EmptyFileLocationError();
    m_text = parent.m_text;
    if (name.IsEmpty()) return;
    if (!parent.IsRoot()) m_text += kSeparator;
    m_text += name.GetConstData();
}

void FileLocation::Assign(const char* text, std::size_t length) {
    std::string_view held = length == 0 ? std::string_view() : HeldText(text, length);
    m_text = Stringy(held.data(), static_cast<unsigned>(held.size()));
}

FileLocation FileLocation::MakeChild(const char* name) const {
    return FileLocation(*this, FileName(name));
}

FileName FileLocation::GetName() const {
    if (IsEmpty()) return FileName();
    std::string_view text = GetConstData().View();
    std::size_t separator = text.rfind(kSeparator);
    std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
    return FileName(text.data() + start, text.size() - start);
}

FileLocation FileLocation::GetParent() const {
    if (IsRoot()) throw RootHasNoParent(GetConstData(), 0);
    std::string_view text = GetConstData().View();
    std::size_t separator = text.rfind(kSeparator);
    if (separator == std::string_view::npos) throw InvalidFileLocation(GetConstData(), 0);
    // "/a" has the root as its parent, so the separator at position 0 is kept.
    return FileLocation(text.data(), separator == 0 ? 1 : separator);
}

bool FileLocation::IsRoot() const {
    if (IsEmpty()) throw EmptyFileLocationError();
    return Length() == 1 && CString()[0] == kSeparator;
}

FileLocation FileLocationFromText(ConstData text) {
    return FileLocation(text);
}

FileLocation ChildFileLocation(const FileLocation& parent, const char* name) {
    return parent.MakeChild(name);
}

bool CompareFileLocationText(const FileLocation& location, const char* text) {
    return Ascii::EqualIgnoringCase(location.GetConstData(), ConstData(text ? std::string_view(text) : ""));
}

FileLocation GetContainingFolder(const FileLocation& location) {
    if (!location.IsRoot() && location.GetConstData().View().find(kSeparator) == std::string_view::npos) {
        return FileLocation(".");
    }
    return location.GetParent();
}

FileLocation GetCurrentDirectoryLocation() {
    std::unique_ptr<char, decltype(&std::free)> directory(::getcwd(nullptr, 0), &std::free);
    return directory ? FileLocation(directory.get()) : FileLocation();
}

FileLocation ResolveRelativePath(const FileLocation& base, ConstData relative) {
    std::vector<std::string_view> kept;
    std::string_view rest = relative.View();
    while (true) {
        std::size_t separator = rest.find(kSeparator);
        std::string_view segment = rest.substr(0, separator);
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (!segment.empty() && segment != ".") {
            kept.push_back(segment);
        }
        if (separator == std::string_view::npos) break;
        rest.remove_prefix(separator + 1);
    }
    FileLocation result = base;
    for (std::string_view segment : kept)
        result = FileLocation(result, FileName(segment.data(), segment.size()));
    return result;
}
