#pragma once

// A desktop that records what it is handed, for the tests of what is
// opened and written: the URLs opened and every page's content, as saved
// and as rewritten.

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/desktop/Desktop.h"

namespace webfind {

struct RecordingDesktop {
    std::vector<std::string> opened;     // URLs and page locations, in order
    std::vector<std::string> pages;      // each page saved
    std::vector<std::string> rewritten;  // each page written anew
    bool openerFails = false, pageFails = false, rewriteFails = false, hasDesktop = true;
    std::string pageNote, settleNotes;
    int settled = 0;
    std::function<void()> onOpen;  // called as a URL is opened

    static constexpr const char* LOCATION = "file:///run/user/1000/webfind/page.html";

    Desktop desktop() {
        return Desktop{[this](std::string& why) {
                           why = "no graphical session";
                           return hasDesktop;
                       },
                       [this](const std::string& url, std::string& why) {
                           opened.push_back(url);
                           if (onOpen) onOpen();
                           if (openerFails) why = "not installed";
                           return !openerFails;
                       },
                       [this](const PageWriter& write, SavedPage& saved, std::string& note, std::string& why) {
                           if (pageFails) {
                               why = "disk full";
                               return false;
                           }
                           std::ostringstream page;
                           write(page);
                           pages.push_back(page.str());
                           saved.location = LOCATION;
                           note = pageNote;
                           return true;
                       },
                       [this](std::ostream& notes) {
                           ++settled;
                           notes << settleNotes;
                       },
                       [this](const SavedPage& saved, const PageWriter& write, std::string& why) {
                           if (rewriteFails || saved.location != LOCATION) {
                               why = "disk full";
                               return false;
                           }
                           std::ostringstream page;
                           write(page);
                           rewritten.push_back(page.str());
                           return true;
                       }};
    }
};

}  // namespace webfind
