// The runtimes the registry names: the vendors' keys and the runtimes the machine and the user located.
#pragma once

#include <string>

#include "jvm/validation.h"

namespace brolt::jvm {

// The registry step of the search: the best accepted runtime of the vendors' keys and of the located
// runtimes, as the registry rules choose, with its version. False when none is accepted.
bool searchRegistry(const ValidationSettings& validation, std::string& javaExecutable, std::string& version);

}  // namespace brolt::jvm
