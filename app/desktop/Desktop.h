#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "app/desktop/PageFile.h"

namespace webfind {

// The desktop's URL opener and the page writer, behind functions so tests can
// record them.
struct Desktop {
    // False, with the reason, when there is no desktop to hand URLs to.
    std::function<bool(std::string& why)> available;
    // False, with the reason, when the handler could not be started.
    std::function<bool(const std::string& url, std::string& why)> open;
    // Writes a new page; as savePage.
    std::function<bool(const PageWriter& write, SavedPage& page, std::string& note, std::string& why)> savePage;
    // After the last URL: as settleOpeners.
    std::function<void(std::ostream& err)> settle;
    // Writes a saved page anew; as rewritePage.
    std::function<bool(const SavedPage& page, const PageWriter& write, std::string& why)> rewritePage;
};

// The desktop of this system.
Desktop systemDesktop();

}  // namespace webfind
