#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/base/Text.h"
#include "app/desktop/DesktopSession.h"
#include "app/desktop/Opener.h"
#include "app/system/Spawn.h"
#include "app/system/Wsl.h"

namespace webfind {

namespace {

// How long, in all, the openers of a run are given to end before webfind
// does: xdg-open hands the URL over and ends at once; a browser started
// itself keeps running and is left to.
constexpr std::chrono::milliseconds OPENER_GRACE{300};

// A URL on its way: the ways to open it, the one running now, and what
// became of those before it.
struct Opening {
    std::string url;
    std::vector<std::vector<std::string>> ways;
    size_t next = 0;  // the way to try next
    Child running;
    std::vector<std::string> notes;
};

std::vector<Opening>& openings() {
    static std::vector<Opening> all;
    return all;
}

std::string exitText(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

// Starts the next way that starts; false when none is left.
bool startNext(Opening& o) {
    SpawnOptions options;
    options.newSession = true;
    while (o.next < o.ways.size()) {
        const std::vector<std::string>& way = o.ways[o.next++];
        std::string failure;
        if (spawn(way, options, o.running, failure)) return true;
        o.notes.push_back(way[0] + " could not be started (" + failure + ")");
    }
    return false;
}

}  // namespace

// Under WSL the Windows desktop takes URLs through wslview, with or without
// a Linux graphical session.
bool desktopAvailable(std::string& why) { return wslHere() != Wsl::NONE || graphicalSession(why); }

bool openUrl(const std::string& url, std::string& why) {
    // The URL comes from the network: it is one argument (or part of one),
    // and no shell sees it.
    Opening o;
    o.url = url;
    o.ways = openerCommands(url, std::getenv("BROWSER"), wslHere() != Wsl::NONE, systemOpener());
    if (!startNext(o)) {
        why.clear();
        for (const std::string& note : o.notes) why += (why.empty() ? "" : ", ") + note;
        return false;
    }
    openings().push_back(std::move(o));
    return true;
}

void settleOpeners(std::ostream& err) {
    const auto deadline = std::chrono::steady_clock::now() + OPENER_GRACE;
    std::vector<Opening>& all = openings();
    for (;;) {
        bool waiting = false;
        for (Opening& o : all) {
            if (!o.running.running()) continue;
            if (!o.running.ended()) {
                waiting = true;
                continue;
            }
            if (o.running.succeeded()) continue;
            const std::string& way = o.ways[o.next - 1][0];
            o.notes.push_back(way + " could not open it (" + exitText(o.running.wait()) + ")");
            if (startNext(o)) waiting = true;
        }
        if (!waiting || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (Opening& o : all) {
        for (size_t i = 0; i < o.notes.size(); ++i) {
            const bool last = i + 1 == o.notes.size();
            err << "webfind: " << escapeForTerminal(o.url) << ": " << o.notes[i]
                << (last && !o.running.running() && !o.running.succeeded() ? "; nothing else to open it with"
                                                                           : "; the next way was tried")
                << '\n';
        }
    }
    err << std::flush;
    all.clear();
}

}  // namespace webfind
