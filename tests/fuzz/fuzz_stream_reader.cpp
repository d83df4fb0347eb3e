// Whole files into the configuration stream reader: the header walk, the records where the walk puts
// them and right at the file's start, the included files behind them, and the promise a caller reading the
// file in growing windows relies on: the reader asks only for bytes it was not given and the file holds, and
// any window it finishes on gives the same outcome as the whole file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "config/stream_reader.h"

namespace {

using namespace brolt::stream;

bool operator==(const Failure& a, const Failure& b) {
    return a.fault == b.fault && a.field == b.field && a.offset == b.offset && a.available == b.available &&
           a.claimed == b.claimed && a.key == b.key;
}

bool same(const Located& a, const Located& b) {
    return a.failure == b.failure && a.layout.streamStart == b.layout.streamStart &&
           a.layout.lastSectionHeader == b.layout.lastSectionHeader;
}

bool same(const Parsed& a, const Parsed& b) {
    const Records& x = a.records;
    const Records& y = b.records;
    if (!(a.failure == b.failure) || x.end != y.end || x.narrow.size() != y.narrow.size() ||
        x.wide.size() != y.wide.size()) {
        return false;
    }
    for (size_t i = 0; i < x.narrow.size(); ++i) {
        if (x.narrow[i].key != y.narrow[i].key || x.narrow[i].value != y.narrow[i].value)
            return false;
    }
    for (size_t i = 0; i < x.wide.size(); ++i) {
        if (x.wide[i].key != y.wide[i].key || x.wide[i].value != y.wide[i].value)
            return false;
    }
    return true;
}

// Grows a window from `first` bytes as the launcher does and checks it against the whole file.
template <typename Parse>
void checkWindows(std::span<const uint8_t> file, uint64_t start, size_t first, Parse parse) {
    const size_t from = static_cast<size_t>(std::min<uint64_t>(start, file.size()));
    const size_t inFile = file.size() - from;
    const auto whole = parse(file.subspan(from));
    if (whole.failure.fault == Fault::NeedMore)
        abort();
    size_t have = std::min(first, inFile);
    for (;;) {
        const auto result = parse(file.subspan(from, have));
        if (result.failure.fault != Fault::NeedMore) {
            if (!same(result, whole))
                abort();
            return;
        }
        if (result.failure.needed <= have || result.failure.needed > inFile)
            abort();
        have = std::max<size_t>(result.failure.needed, std::min(2 * have, inFile));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    const size_t first = size > 0 ? data[size - 1] : 0;
    auto locate = [&](std::span<const uint8_t> head) { return locateStream(head, size); };
    checkWindows(file, 0, first, locate);

    const Located located = locateStream(file, size);
    for (uint64_t start : {located.failure.ok() ? located.layout.streamStart : size, uint64_t{0}}) {
        checkWindows(file, start, first,
                     [&](std::span<const uint8_t> bytes) { return parseStream(bytes, start, size); });
    }

    // The included files behind where the records end: each entry starts where the one before it ends,
    // and the walk reads every name or stops at a cut size field.
    const uint64_t streamStart =
        std::min<uint64_t>(located.failure.ok() ? located.layout.streamStart : 0, size);
    const Parsed parsed = parseStream(file.subspan(static_cast<size_t>(streamStart)), streamStart, size);
    const uint64_t start = parsed.failure.ok() ? parsed.records.end : 0;
    const std::vector<std::string> names(first % 5, "f");
    const IncludedWalk walk = walkIncludedFiles(names, start, file);
    uint64_t expected = start;
    for (const IncludedFile& entry : walk.files) {
        if (entry.sizeOffset != expected || entry.contentOffset != expected + kIncludedFileSizeWidth)
            abort();
        expected = entry.contentOffset + static_cast<uint64_t>(std::max<int64_t>(entry.size, 0));
    }
    if (walk.end != expected || walk.failure.ok() != (walk.files.size() == names.size()))
        abort();

    const auto includedSize = parseIncludedFileSize(file);
    if (includedSize.has_value() != (size >= kIncludedFileSizeWidth))
        abort();
    return 0;
}
