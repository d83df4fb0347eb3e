// Removing a directory with everything below it, for test and benchmark clean-up.
#pragma once

#include <windows.h>

#include <string>

namespace fixture {

inline void removeTree(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = directory + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
}

}  // namespace fixture
