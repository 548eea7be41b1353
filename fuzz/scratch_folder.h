// Shared by the fuzz targets that write files: one temporary folder for the whole run (removed when
// the program ends), with a subfolder made afresh for each input.
#pragma once

#include "base/file_location.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/temporary_files.h"

class ScratchFolder {
  public:
    ScratchFolder() : m_folder(GetSystemTemporaryDirectory()) {}

    const FileLocation& Location() const { return m_folder.GetLocation(); }
    FileLocation Child(const char* name) const { return Location().MakeChild(name); }
    // The child folder, empty: made when missing, emptied when it holds anything.
    FileLocation FreshFolder(const char* name) const {
        const FileLocation folder = Child(name);
        if (FileAttributes(folder).Exists()) RemoveDirectoryTree(folder);
        CreateDirectoryIfMissing(folder);
        return folder;
    }

  private:
    TemporaryDirectoryLocation m_folder;
};
