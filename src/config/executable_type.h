// The executable type (key 107): how the launcher presents itself. Read once at start-up.
#pragma once

namespace brolt {

enum class ExecutableType {
    Console,           // every value not named below: errors on standard error, demand start
    Windowed,          // 1: message boxes, the windowless java executable, "true" as main's first parameter
    AutoStartService,  // 4: the plain install command chooses automatic start
    MessageBoxes,      // 5: message boxes
};

inline ExecutableType executableTypeOf(int value) {
    switch (value) {
        case 1:
            return ExecutableType::Windowed;
        case 4:
            return ExecutableType::AutoStartService;
        case 5:
            return ExecutableType::MessageBoxes;
        default:
            return ExecutableType::Console;
    }
}

inline bool showsMessageBoxes(ExecutableType type) {
    return type == ExecutableType::Windowed || type == ExecutableType::MessageBoxes;
}

}  // namespace brolt
