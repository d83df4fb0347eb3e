// How a launcher process names itself in what it leaves in the temporary location: the extraction
// folder's marker and the "-version" output file's name.
#include "files/extraction_marker.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using brolt::ExtractionOwner;

TEST(ExtractionMarker, RoundTripAndWhatIsNotAMarker) {
    ExtractionOwner owner{"C:\\Program Files\\app\\MyService.exe", 4242, 133000000000000000ull};
    std::string text = brolt::formatExtractionMarker(owner);
    std::optional<ExtractionOwner> parsed = brolt::parseExtractionMarker(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->modulePath, owner.modulePath);
    EXPECT_EQ(parsed->processId, owner.processId);
    EXPECT_EQ(parsed->creationTime, owner.creationTime);

    const std::string notMarkers[] = {
        "",
        "PK\x03\x04",
        "brolt extraction owner\nprocess=12\ncreated=5\n",                             // no module
        "brolt extraction owner\nprocess=x\ncreated=5\nmodule=C:\\a.exe\n",            // pid not a number
        "brolt extraction owner\nprocess=99999999999\ncreated=5\nmodule=C:\\a.exe\n",  // pid too large
        "brolt extraction owner\nprocess=12\ncreated=5\nmodule=C:\\a.exe\r\r\n",       // no path holds a CR
        "owner\nprocess=12\ncreated=5\nmodule=C:\\a.exe\n",
    };
    for (const std::string& notMarker : notMarkers)
        EXPECT_FALSE(brolt::parseExtractionMarker(notMarker)) << notMarker;
    EXPECT_TRUE(brolt::parseExtractionMarker(
        "brolt extraction owner\r\nprocess=12\r\ncreated=5\r\nmodule=C:\\a.exe"));
}

TEST(VersionOutputName, NamesItsOwnerAndMatchesTheLaunchersTemporaryFiles) {
    struct Case {
        ExtractionOwner owner;
        uint32_t sequence;
        const char* name;
    };
    const Case cases[] = {
        {{"", 4242, 0x1d9a2b3c4d5e6f7ull}, 0, "brt_v4242_1d9a2b3c4d5e6f7_0.tmp"},
        {{"", 0, 0}, 12, "brt_v0_0_12.tmp"},
        {{"", 4294967295u, 18446744073709551615ull},
         4294967295u,
         "brt_v4294967295_ffffffffffffffff_4294967295.tmp"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brolt::formatVersionOutputName(c.owner, c.sequence), c.name);
        std::optional<ExtractionOwner> parsed = brolt::parseVersionOutputName(c.name);
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(parsed->processId, c.owner.processId) << c.name;
        EXPECT_EQ(parsed->creationTime, c.owner.creationTime) << c.name;
        EXPECT_EQ(parsed->modulePath, "") << c.name;
    }
    // The system keeps a name's case as written, but another program may have written it otherwise.
    std::optional<ExtractionOwner> upper = brolt::parseVersionOutputName("BRT_V12_ABC_3.TMP");
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->processId, 12u);
    EXPECT_EQ(upper->creationTime, 0xabcu);
}

TEST(VersionOutputName, OtherNamesAreNotOurs) {
    const char* const notOurs[] = {
        "brt1234.tmp",          // the name of an extraction folder's reserved file
        "brt1234.tmp_dir5678",  // an extraction folder
        "brt_p1234.tmp",        // the single-instance file
        "brt_v.tmp",
        "brt_v12_ab.tmp",      // a field missing
        "brt_v12_ab_0_1.tmp",  // one too many
        "brt_v_ab_0.tmp",
        "brt_v12__0.tmp",
        "brt_v12_ab_.tmp",
        "brt_v12_ab_0",
        "brt_v12_ab_0.tmp.txt",
        "brt_v12_ab_0.tmpx",
        "xbrt_v12_ab_0.tmp",
        "brt_v-1_ab_0.tmp",
        "brt_v+1_ab_0.tmp",
        "brt_v012_ab_0.tmp",  // another spelling of a name that is
        "brt_v12_0ab_0.tmp",
        "brt_v12_0xab_0.tmp",
        "brt_v12_ab_00.tmp",
        "brt_v1 2_ab_0.tmp",
        "brt_v12_abg_0.tmp",
        "brt_v4294967296_ab_0.tmp",  // a process id does not reach this
        "brt_v12_10000000000000000_0.tmp",
        "brt_v12_ab_4294967296.tmp",
    };
    for (const char* name : notOurs)
        EXPECT_FALSE(brolt::parseVersionOutputName(name)) << name;
}

}  // namespace
