#include "app/inspect/BackgroundChecks.h"

namespace webfind {

BackgroundChecks::BackgroundChecks(CheckSettings checkSettings, Done done, Resolver resolve)
    : settings(std::move(checkSettings)), done(std::move(done)), resolve(std::move(resolve)) {
    const std::function<bool()> asked = settings.stopRequested;
    settings.stopRequested = [this, asked] {
        std::lock_guard<std::mutex> held(lock);
        return stopping || (asked && asked());
    };
    worker = std::thread([this] { run(); });
}

BackgroundChecks::~BackgroundChecks() { stop(); }

void BackgroundChecks::add(const Address& address, const std::string& url) {
    std::lock_guard<std::mutex> held(lock);
    waiting[address] = url;
    wake.notify_one();
}

void BackgroundChecks::stop() {
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
        wake.notify_one();
    }
    if (worker.joinable()) worker.join();
}

void BackgroundChecks::run() {
    for (;;) {
        DeviceTable pages;
        {
            std::unique_lock<std::mutex> held(lock);
            wake.wait(held, [this] { return stopping || !waiting.empty(); });
            if (stopping) return;
            for (const auto& page : waiting) pages.add(page.first, "", page.second);
            waiting.clear();
        }
        FactsTable checked;
        checkPages(pages, checked, settings, resolve);
        for (const auto& page : pages) {
            if (settings.stopRequested()) return;
            done(page.first, page.second.url, checked[page.first].check);
        }
    }
}

}  // namespace webfind
