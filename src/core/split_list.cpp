#include "core/split_list.h"

namespace brolt {

std::vector<std::string_view> splitList(std::string_view text, char separator, EmptyPieces empty) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        const std::string_view piece = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!piece.empty() || empty == EmptyPieces::Keep)
            pieces.push_back(piece);
        if (end == std::string_view::npos)
            return pieces;
        start = end + 1;
    }
}

}  // namespace brolt
