#include <iostream>

#include "Err.h"
#include "Opener.h"
#include "Run.h"

// Status when the socket layer cannot be started: an Err left the run.
constexpr int EXIT_ENVIRONMENT = 3;

int main() {
    try {
        return runDiscovery(RunSettings(), std::cout, std::cerr, openUrl);
    } catch (const BRIVO::Err&) {
        // The assertion line is already written; the run's objects have been
        // destroyed on the way out.
        return EXIT_ENVIRONMENT;
    }
}
