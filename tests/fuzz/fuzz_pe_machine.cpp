// The machine of arbitrary bytes: read only from a header that lies within the window, right behind a
// PE signature that the header offset points at; a refusal always says why.
#include <cstdint>
#include <span>

#include "core/pe_machine.h"
#include "fuzz_check.h"

using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    brolt::ImageMachine image = brolt::imageMachine(bytes);
    if (!image.known()) {
        require(!image.problem.empty() && image.machine == 0);
        return 0;
    }
    require(size >= 0x40 && data[0] == 'M' && data[1] == 'Z');
    const uint32_t header =
        data[0x3C] | data[0x3D] << 8 | data[0x3E] << 16 | static_cast<uint32_t>(data[0x3F]) << 24;
    require(header + 6ull <= size && header + 6ull <= brolt::kImageHeadBytes);
    require(data[header] == 'P' && data[header + 1] == 'E' && data[header + 2] == 0 && data[header + 3] == 0);
    require(image.machine == (data[header + 4] | data[header + 5] << 8));
    return 0;
}
