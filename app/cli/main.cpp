#include <cstdlib>
#include <iostream>

#include "app/base/Text.h"
#include "app/cli/Options.h"
#include "app/cli/RunStory.h"
#include "app/cli/WatchStory.h"
#include "app/system/Console.h"
#include "app/system/ServiceManager.h"

namespace webfind {
namespace {

ExitStatus usage(const std::string& problem) {
    std::cerr << Priority::ERROR << "webfind: " << problem << " (see 'webfind --help')\n";
    return ExitStatus::USAGE;
}

ExitStatus runTool(int argc, char** argv) {
    const Options options = parseOptions(argc, argv, std::getenv("WEBFIND_PORT"), std::getenv("WEBFIND_TARGETS"));
    switch (options.action) {
    case Options::HELP: std::cout << HELP_TEXT; return ExitStatus::DONE;
    case Options::VERSION: std::cout << "webfind " WEBFIND_VERSION "\n"; return ExitStatus::DONE;
    case Options::USAGE_ERROR: return usage(options.problem);
    case Options::RUN: break;
    }
    for (const std::string& note : options.notes) std::cerr << "webfind: " << escapeForTerminal(note) << '\n';
    RunSettings settings;
    std::string problem;
    if (!settingsFor(options, settings, problem)) return usage(problem);
    const Desktop desktop = systemDesktop();
    const Telling telling{std::cout, std::cerr, standardErrorIsTerminal(), &desktop};
    return options.watch ? tellWatch(options, settings, telling) : tellRun(options, settings, telling);
}

// Runs the tool, then makes sure that what it wrote to standard output got
// there. A run that failed already keeps its own status.
int main(int argc, char** argv) {
    prepareStandardStreams();
    detectJournal();
    ExitStatus status = runTool(argc, argv);
    std::string why;
    if (!standardOutputDelivered(why)) {
        std::cerr << Priority::ERROR << "webfind: could not write to standard output: " << why << '\n' << std::flush;
        if (status == ExitStatus::DONE) status = ExitStatus::OUTPUT_FAILURE;
    }
    // Started from Explorer or the Start menu, the list would vanish with
    // the window.
    keepWindowUntilEnter();
    return static_cast<int>(status);
}

}  // namespace
}  // namespace webfind

int main(int argc, char** argv) { return webfind::main(argc, argv); }
