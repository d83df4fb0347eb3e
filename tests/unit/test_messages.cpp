// Configured messages: which executable types show boxes, and how the argument goes in.
#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "core/errors.h"
#include "stream_fixture.h"
#include "windows/win_loader.h"

namespace {

const std::string kFixture = fixture::ownDirectory() + "messages_fixture.exe";

void loadFixture(const fixture::Stream& stream) {
    fixture::writeLauncher(fixture::ownPath(), kFixture, fixture::streamBytes(stream));
    loadLauncherConfiguration(kFixture.c_str());
}

TEST(ErrorPresentation, MessageBoxesOnlyForExecutableTypesOneAndFive) {
    // Before any configuration is known, a broken stream must be seen: boxes are on.
    EXPECT_TRUE(isMessageBoxMode());
    const struct {
        const char* type;
        bool boxes;
    } cases[] = {{"1", true},  {"5", true}, {"01", true}, {"3", false},
                 {"4", false}, {"", false}, {"x", false}};
    for (const auto& c : cases) {
        loadFixture({{{107, c.type}, {1000, "Caption"}}, {}});
        EXPECT_EQ(isMessageBoxMode(), c.boxes) << "type '" << c.type << "'";
    }
}

TEST(ErrorPresentation, FormatPutsTheArgumentInTheFirstPlaceholderOnly) {
    const struct {
        const char* text;
        const char* argument;
        const char* shown;
    } cases[] = {
        {"Error {0} here", "7", "Error 7 here"},
        {"{0} and {0}", "x", "x and {0}"},
        {"no placeholder", "x", "no placeholder"},
        {"kept {0}", nullptr, "kept {0}"},
        {"", "x", ""},
    };
    for (const auto& c : cases) {
        char out[64];
        formatMessage(out, sizeof out, c.text, c.argument);
        EXPECT_STREQ(out, c.shown) << c.text;
    }
    // A text that does not fit is cut, never overrun.
    char small[8];
    formatMessage(small, sizeof small, "ab{0}cd", "0123456789");
    EXPECT_STREQ(small, "ab01234");
}

}  // namespace
