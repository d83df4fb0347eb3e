// How a launcher process names itself in what it leaves in the temporary location: the extraction
// folder's marker and the "-version" output file's name.
#include "files/extraction_marker.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

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

TEST(StableMarker, RoundTripAndWhatIsNotOne) {
    brolt::StableMarker marker{
        {"C:\\Program Files\\app\\My Service.exe", 1234567, 133000000000000000ull},
        {{4242, 133000000000000001ull}, {0, 0}, {4294967295u, 18446744073709551615ull}}};
    std::string text = brolt::formatStableMarker(marker);
    EXPECT_EQ(text,
              "brolt stable extraction\nmodule=C:\\Program Files\\app\\My Service.exe\nsize=1234567\n"
              "written=133000000000000000\nuser=4242 133000000000000001\nuser=0 0\n"
              "user=4294967295 18446744073709551615\n");
    std::optional<brolt::StableMarker> parsed = brolt::parseStableMarker(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->launcher.modulePath, marker.launcher.modulePath);
    EXPECT_EQ(parsed->launcher.size, marker.launcher.size);
    EXPECT_EQ(parsed->launcher.writeTime, marker.launcher.writeTime);
    ASSERT_EQ(parsed->users.size(), 3u);
    EXPECT_EQ(parsed->users[2].processId, 4294967295u);
    EXPECT_EQ(parsed->users[2].creationTime, 18446744073709551615ull);
    // A folder of no process yet (every start adds itself) and a marker written on another system.
    EXPECT_TRUE(brolt::parseStableMarker("brolt stable extraction\nmodule=C:\\a.exe\nsize=1\nwritten=2\n"));
    EXPECT_TRUE(
        brolt::parseStableMarker("brolt stable extraction\r\nmodule=C:\\a.exe\r\nsize=1\r\nwritten=2\r\n"));

    const std::string head = "brolt stable extraction\nmodule=C:\\a.exe\nsize=1\nwritten=2\n";
    std::string tooManyUsers;
    for (size_t i = 0; i <= brolt::kMaxFolderUsers; ++i)
        tooManyUsers += "user=" + std::to_string(i + 1) + " 1\n";
    const std::string notMarkers[] = {
        "",
        brolt::formatExtractionMarker({"C:\\a.exe", 1, 2}),       // a fresh folder's marker
        "brolt stable extraction\nmodule=C:\\a.exe\nsize=1\n",    // no write time
        "brolt stable extraction\nsize=1\nwritten=2\n",           // no launcher
        "brolt stable extraction\nmodule=\nsize=1\nwritten=2\n",  // an empty path
        "brolt stable extraction\nmodule=C:\\a.exe\nsize=01\nwritten=2\n",
        "brolt stable extraction\nmodule=C:\\a.exe\nsize=1\nwritten=2\nsize=3\n",  // said twice
        "brolt stable extraction\nmodule=C:\\a.exe\nsize=1\nwritten=2",            // cut while written
        head + "user=12\n",
        head + "user=12 \n",
        head + "user=4294967296 1\n",  // no process id reaches this
        head + "user=12 1 3\n",
        head + "owner=12 1\n",
        head + tooManyUsers,  // more than a start ever writes
    };
    for (const std::string& notMarker : notMarkers)
        EXPECT_FALSE(brolt::parseStableMarker(notMarker)) << notMarker;
}

TEST(Manifest, RoundTripAndWhatIsNotOne) {
    std::vector<brolt::ManifestEntry> entries{{"app.jar", {70000, 133000000000000000ull}},
                                              {"name with blanks.txt", {0, 0}},
                                              {" lead", {18446744073709551615ull, 1}}};
    std::string text = brolt::formatManifest(entries);
    EXPECT_EQ(text,
              "brolt extraction manifest\n70000 133000000000000000 app.jar\n0 0 name with blanks.txt\n"
              "18446744073709551615 1  lead\n");
    std::optional<std::vector<brolt::ManifestEntry>> parsed = brolt::parseManifest(text);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ((*parsed)[i].name, entries[i].name);
        EXPECT_EQ((*parsed)[i].stamp.size, entries[i].stamp.size);
        EXPECT_EQ((*parsed)[i].stamp.writeTime, entries[i].stamp.writeTime);
    }
    std::optional<std::vector<brolt::ManifestEntry>> none =
        brolt::parseManifest("brolt extraction manifest\r\n");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());

    const char* const notManifests[] = {
        "",
        "brolt extraction manifest",  // cut before its line end
        "brolt extraction manifest\n1 2 a.jar",
        "brolt extraction manifest\n1 2\n",
        "brolt extraction manifest\n1 2 \n",  // no name
        "brolt extraction manifest\n1 a.jar\n",
        "brolt extraction manifest\n-1 2 a.jar\n",
        "brolt extraction manifest\n01 2 a.jar\n",
        "brolt extraction manifest\n18446744073709551616 2 a.jar\n",
        "brolt extraction manifest\n1 2 a\tb\n",
        "brolt extraction manifest\n\n",
        "brolt extraction owner\n1 2 a.jar\n",
    };
    for (const char* notManifest : notManifests)
        EXPECT_FALSE(brolt::parseManifest(notManifest)) << notManifest;
}

}  // namespace
