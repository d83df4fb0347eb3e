// Putting the argument into a configured message.
#include "core/message_format.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageFormat, PutsTheArgumentInTheFirstPlaceholderOnly) {
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
