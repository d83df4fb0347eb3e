// Restoring a runtime shipped with packed class archives before it is examined.
#pragma once

#include <string>

namespace brolt::jvm {

// Unpacks every archive of a packed runtime directory with the runtime's own unpacker; does nothing
// for a runtime that is not packed. False only when an unpacker could not be started.
bool prepareJre(const std::string& runtimeDirectory);

}  // namespace brolt::jvm
