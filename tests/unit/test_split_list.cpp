#include "core/split_list.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace brolt {
namespace {

using Pieces = std::vector<std::string_view>;

TEST(SplitList, EmptyPiecesSkippedOrKeptInPlace) {
    struct Case {
        std::string_view text;
        Pieces skipped;
        Pieces kept;
    };
    const Case cases[] = {
        {"", {}, {""}},
        {"a", {"a"}, {"a"}},
        {"a;b;c", {"a", "b", "c"}, {"a", "b", "c"}},
        {";", {}, {"", ""}},
        {";;", {}, {"", "", ""}},
        {";a;;b;", {"a", "b"}, {"", "a", "", "b", ""}},
        {"a b; c ", {"a b", " c "}, {"a b", " c "}},  // blanks belong to the pieces
        {"a,b;c", {"a,b", "c"}, {"a,b", "c"}},        // only the one separator splits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitList(c.text, ';', EmptyPieces::Skip), c.skipped) << '"' << c.text << '"';
        EXPECT_EQ(splitList(c.text, ';', EmptyPieces::Keep), c.kept) << '"' << c.text << '"';
    }
}

TEST(SplitList, PiecesAreViewsIntoTheText) {
    const std::string text = "1,22,,333";
    const Pieces pieces = splitList(text, ',', EmptyPieces::Keep);
    ASSERT_EQ(pieces, (Pieces{"1", "22", "", "333"}));
    EXPECT_EQ(pieces[1].data(), text.data() + 2);
    EXPECT_EQ(pieces[3].data() + pieces[3].size(), text.data() + text.size());
}

}  // namespace
}  // namespace brolt
