// Extraction folders of earlier runs: the marker each extraction leaves, and the sweep that removes the
// folders of this launcher's earlier runs whose process is gone.
#pragma once

#include <cstdint>

#include "core/unique_resource.h"
#include "files/extraction_marker.h"

namespace brolt {

// This process as the marker names it.
ExtractionOwner currentExtractionOwner();
// Whether the process of that id and creation time still runs.
OwnerState processState(uint32_t processId, uint64_t creationTime);

// Writes the marker into directory (nothing when directory is empty, or when a file of the marker's name
// is there already: it is not overwritten). The handle keeps the marker open without delete sharing,
// so no clean-up of the folder removes it while this process runs; hold it until the process ends.
UniqueFile writeExtractionMarker(const char* directory, const ExtractionOwner& self);

// Removes an extraction folder with everything in it, its marker last (closed by then); false when
// something stayed.
bool removeExtraction(const std::string& folder);

// Removes every folder directly in tempLocation whose marker names self's launcher and a process that is
// gone, with everything in it (links are removed, never entered); the marker goes last, so a folder
// that could not be emptied is tried again next time. Folders without a marker are left alone. Answers
// how many folders went.
int sweepStaleExtractions(const char* tempLocation, const ExtractionOwner& self);

}  // namespace brolt
