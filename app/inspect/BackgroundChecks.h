#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "app/base/Address.h"
#include "app/inspect/Check.h"

namespace webfind {

// Checks pages on a thread of its own, so that whoever hands them over (a
// watch's rounds) never waits for them. Pages handed over while a check is
// on its way are checked together next, each address with the latest URL
// it was handed over with: what waits is bounded by the devices, however
// often they change.
class BackgroundChecks {
public:
    // Called on the checking thread once for each page checked, never after
    // stop() has returned.
    using Done = std::function<void(const Address& address, const std::string& url, const PageCheck& check)>;

    BackgroundChecks(CheckSettings settings, Done done, Resolver resolve = resolveHost);
    // As stop().
    ~BackgroundChecks();
    BackgroundChecks(const BackgroundChecks&) = delete;
    BackgroundChecks& operator=(const BackgroundChecks&) = delete;

    void add(const Address& address, const std::string& url);
    // Ends the check on its way within 100 ms (what it had not done is
    // dropped, not reported) and the thread with it.
    void stop();

private:
    void run();

    CheckSettings settings;
    const Done done;
    const Resolver resolve;
    std::mutex lock;
    std::condition_variable wake;
    std::map<Address, std::string> waiting;
    bool stopping = false;
    std::thread worker;
};

}  // namespace webfind
