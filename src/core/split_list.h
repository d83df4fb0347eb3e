// The one splitter of separated lists: search entries, class-path entries, included file names, service
// dependencies, path lists and colour parts. Text in, pieces out, no system calls.
#pragma once

#include <string_view>
#include <vector>

namespace brolt {

// What becomes of a piece with nothing in it: between two separators, in front of the first or behind
// the last, or the whole of an empty text.
enum class EmptyPieces {
    // Dropped: an empty piece names nothing, so ";a;;b;" is "a" and "b", and an empty text no piece.
    // Every list of names or entries reads this way.
    Skip,
    // Kept, so every piece keeps its position: "1,,3" is "1", "" and "3", and an empty text one empty
    // piece. For lists whose pieces mean what their place says (the parts of a colour).
    Keep,
};

// The pieces of text between the separators, in order, as views into text.
std::vector<std::string_view> splitList(std::string_view text, char separator, EmptyPieces empty);

}  // namespace brolt
