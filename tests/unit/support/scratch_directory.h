// A per-test directory for unit tests that touch the file system.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "file_tree.h"

namespace fixture {

// A fresh directory below the current one, removed with everything in it at the end of the test. Its
// name depends on the test alone, so a death test's child process works in its parent's directory.
struct ScratchDirectory {
    std::string path;
    ScratchDirectory() {
        char current[MAX_PATH];
        GetCurrentDirectoryA(sizeof current, current);
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        path = std::string(current) + "\\scratch-" + test->test_suite_name() + "-" + test->name();
        for (char& c : path) {
            if (c == '/')
                c = '_';
        }
        removeTree(path);
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~ScratchDirectory() { removeTree(path); }
    std::string operator/(const std::string& name) const { return path + "\\" + name; }
};

}  // namespace fixture
