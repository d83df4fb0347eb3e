#include "launch/expand.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/limits.h"

namespace {

constexpr size_t kBuffer = brolt::kTextBufferSize;

std::string expanded(const std::string& text) {
    std::string buffer(kBuffer, '\0');
    brolt::copyBounded(buffer.data(), kBuffer, text.c_str());
    expandVariables(buffer.data(), {"C:\\app\\", "C:\\Temp\\x", "C:\\jre\\bin\\.."});
    return buffer.c_str();
}

// The process environment as it is at the moment of expansion, with the block's own spelling of names.
TEST(ExpandVariables, ReadsTheProcessEnvironmentOfTheMoment) {
    SetEnvironmentVariableA("BrtFoo", "1");
    EXPECT_EQ(expanded("${BrtFoo} ${BRTFOO} ${brtfoo} %BrtFoo% ${BROLT_TEMPDIR}"),
              "1 1 ${brtfoo} %BrtFoo% C:\\Temp\\x");
    SetEnvironmentVariableA("BrtFoo", "2");
    EXPECT_EQ(expanded("${BrtFoo}"), "2");
    SetEnvironmentVariableA("BrtFoo", nullptr);
    EXPECT_EQ(expanded("${BrtFoo}"), "${BrtFoo}");
}

}  // namespace
