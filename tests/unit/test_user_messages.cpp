// What the user is shown: which executable types show boxes.
#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "stream_fixture.h"
#include "windows/user_messages.h"
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

}  // namespace
