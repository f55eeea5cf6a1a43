#pragma once

#include "app/cli/Story.h"

namespace webfind {

// The story of a run: probe, collect, and show what was found (the listing,
// opening each URL or one page, or the JSON array), with what a person
// reading along is told: why nothing answered, or how many devices the
// patterns left out.
ExitStatus tellRun(const Options& options, const RunSettings& settings, const Telling& telling);

// True when what a run shows may include the devices' hardware: a plain
// listing shows none, and then neither the neighbour table nor the registry
// is read.
bool hardwareShown(const Options& options, size_t devices);

}  // namespace webfind
