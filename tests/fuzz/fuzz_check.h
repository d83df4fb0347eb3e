// A broken property ends the run at once, so the fuzzer keeps the input that broke it.
#pragma once

#include <cstdlib>

namespace fuzz {

inline void require(bool condition) {
    if (!condition)
        abort();
}

}  // namespace fuzz
