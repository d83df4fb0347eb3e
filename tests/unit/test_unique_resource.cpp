#include "core/unique_resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

// CreateFile fails with INVALID_HANDLE_VALUE, yet a null handle is no file either: neither may pass
// for an open file (and so be used or closed).
TEST(UniqueFile, OnlyAnOpenFileIsValid) {
    EXPECT_FALSE(brolt::UniqueFile(nullptr));
    EXPECT_FALSE(brolt::UniqueFile(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(brolt::UniqueFile());

    fixture::ScratchDirectory scratch;
    std::string path = scratch / "file.txt";
    ASSERT_TRUE(fixture::writeFile(path, "x"));
    brolt::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file);
}

}  // namespace
