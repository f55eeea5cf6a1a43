#pragma once

#include "app/cli/Story.h"

namespace webfind {

// The story of a watch, as the options ask for it: events on standard output as they
// happen, one flushed line each, until the duration passes or a stop is
// asked for; with --page a page kept current, with --metrics a metrics file
// written each round; notes on standard error, and, when a person reads it,
// why nothing answers.
ExitStatus tellWatch(const Options& options, const RunSettings& settings, const Telling& telling);

}  // namespace webfind
