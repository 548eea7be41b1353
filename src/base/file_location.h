// FileLocation: the full path of a file or directory, the argument of every file operation.
//
// Paths use "/" as their only separator (a backslash is an ordinary byte of a name). The text held
// never ends in a separator, except the root "/" itself: "/data/" is held as "/data", "//" as "/".
// An empty text means "unset"; operations given an unset location throw EmptyFileLocationError. A
// text is cut at its first NUL byte, so the location always names what the system calls will see.
//
// Locations are built from text, or as a child of a parent location and a validated FileName: a
// child can never hold a separator or a "." or ".." of its own, so composing with names from a
// directory scan or from the network never leaves the parent.
//
// A value type: copy it freely, share nothing. Nothing here touches the file system except
// GetCurrentDirectoryLocation.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/const_data.h"
#include "base/file_errors.h"
#include "base/file_name.h"
#include "base/stringy.h"

class FileLocation {
  public:
    FileLocation() = default;
    // A null text gives the unset location.
    explicit FileLocation(const char* text);
    FileLocation(const char* text, std::size_t length);
    explicit FileLocation(ConstData text);
    // The child `name` of `parent`: EmptyFileLocationError for an unset parent; the parent itself for
    // an empty name.
    FileLocation(const FileLocation& parent, const FileName& name);

    // Replaces the text; trailing separators are stripped as at construction.
    void Assign(const char* text, std::size_t length);

    bool IsEmpty() const { return m_text.IsNull(); }
    std::size_t Length() const { return m_text.Length(); }
    const char* CString() const { return m_text.GetCString(); }
    ConstData GetConstData() const { return m_text.GetConstData(); }
    std::string GetPathString() const { return std::string(GetConstData().View()); }
    std::string ToString() const { return GetPathString(); }

    // The child named by `name`, validated as a FileName first (IllegalFileName for "a/b").
    FileLocation MakeChild(const char* name) const;
    // The last component ("/d/a.txt" gives "a.txt"), validated; the empty name for an unset location.
    FileName GetName() const;
    // The folder holding this location: "/d/a.txt" gives "/d", "/a" gives "/".
    // EmptyFileLocationError when unset, RootHasNoParent for "/", InvalidFileLocation for a text
    // without separator ("a.txt").
    FileLocation GetParent() const;
    FileLocation GetParentLocation() const { return GetParent(); }
    // True for "/"; EmptyFileLocationError when unset.
    bool IsRoot() const;

    friend bool operator==(const FileLocation&, const FileLocation&) = default;

  private:
    Stringy m_text;  // paths of up to 127 bytes need no heap block
};

using OptionalFileLocation = std::optional<FileLocation>;

FileLocation FileLocationFromText(ConstData text);
// parent.MakeChild(name).
FileLocation ChildFileLocation(const FileLocation& parent, const char* name);
// True when the location's text equals `text` ignoring ASCII case; a null text counts as empty.
bool CompareFileLocationText(const FileLocation& location, const char* text);
// The folder that holds `location`: its parent, or "." for a name without folder ("a.txt").
// EmptyFileLocationError when unset, RootHasNoParent for "/".
FileLocation GetContainingFolder(const FileLocation& location);
// The process's current directory; the unset location when it cannot be had.
FileLocation GetCurrentDirectoryLocation();
// `relative` ("a/./b/../c") resolved below `base`: split at "/", empty and "." segments dropped, ".."
// drops the segment kept before it and is ignored at the start, so the result never rises above the
// base. Each remaining segment must be a valid FileName (IllegalFileName for "a/b:c").
FileLocation ResolveRelativePath(const FileLocation& base, ConstData relative);
