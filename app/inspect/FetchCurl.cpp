// Fetching device pages with libcurl, side by side through its multi
// interface, every connection pinned to the answering device's address.

// Only its declarations: the library itself is loaded when needed.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <errno.h>
#include <strings.h>
#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>

#include "app/inspect/Check.h"
#include "app/inspect/Title.h"

namespace webfind {

namespace {

// libcurl, loaded the first time a page is fetched: linked at start, its
// libraries' start-up (TLS among them) would cost every run tens of
// milliseconds, most of which never fetch anything.
struct CurlLibrary {
    bool loaded = false;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&::curl_multi_info_read) multi_info_read = nullptr;
    decltype(&::curl_multi_init) multi_init = nullptr;
    decltype(&::curl_multi_perform) multi_perform = nullptr;
    decltype(&::curl_multi_poll) multi_poll = nullptr;
    decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
};

const CurlLibrary& curl() {
    static const CurlLibrary library = [] {
        CurlLibrary library;
        void* handle = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return library;
        auto load = [handle](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
            return function != nullptr;
        };
        // Each entry point is named after its field: curl_<field>.
#define WEBFIND_CURL_LOAD(field) load(library.field, "curl_" #field)
        const bool found =
            WEBFIND_CURL_LOAD(easy_cleanup) && WEBFIND_CURL_LOAD(easy_getinfo) && WEBFIND_CURL_LOAD(easy_init) &&
            WEBFIND_CURL_LOAD(easy_setopt) && WEBFIND_CURL_LOAD(easy_strerror) && WEBFIND_CURL_LOAD(global_init) &&
            WEBFIND_CURL_LOAD(multi_add_handle) && WEBFIND_CURL_LOAD(multi_cleanup) &&
            WEBFIND_CURL_LOAD(multi_info_read) && WEBFIND_CURL_LOAD(multi_init) && WEBFIND_CURL_LOAD(multi_perform) &&
            WEBFIND_CURL_LOAD(multi_poll) && WEBFIND_CURL_LOAD(multi_remove_handle) &&
            WEBFIND_CURL_LOAD(slist_append) && WEBFIND_CURL_LOAD(slist_free_all);
#undef WEBFIND_CURL_LOAD
        library.loaded = found && library.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        return library;
    }();
    return library;
}

// One fetch on its way: its request, what has come back, and its handle.
struct Transfer {
    const FetchRequest* request = nullptr;
    PageCheck* result = nullptr;
    CURL* easy = nullptr;
    curl_slist* pinned = nullptr;
    std::string body;
    std::string location;
    size_t maxBytes = 0;
    bool verified = true;  // this attempt verifies the certificate
    char error[CURL_ERROR_SIZE] = {};

    ~Transfer() { release(); }
    void release() {
        if (easy) curl().easy_cleanup(easy);
        if (pinned) curl().slist_free_all(pinned);
        easy = nullptr;
        pinned = nullptr;
    }
};

size_t takeBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    const size_t room = t->maxBytes - std::min(t->maxBytes, t->body.size());
    t->body.append(data, std::min(room, bytes));
    // Enough read: ending the transfer here is no failure of the page's.
    return t->body.size() >= t->maxBytes ? 0 : bytes;
}

size_t takeHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::string line(data, size * count);
    if (line.size() > 9 && strncasecmp(line.c_str(), "location:", 9) == 0) {
        size_t from = line.find_first_not_of(" \t", 9), to = line.find_last_not_of(" \t\r\n");
        t->location = from == std::string::npos ? "" : line.substr(from, to - from + 1);
    } else if (line.rfind("HTTP/", 0) == 0) {
        t->location.clear();  // a new response
    }
    return size * count;
}

void setUp(Transfer& t, const CheckSettings& settings) {
    const FetchRequest& r = *t.request;
    t.easy = curl().easy_init();
    t.body.clear();
    t.location.clear();
    t.error[0] = '\0';
    t.maxBytes = settings.maxBytes;
    // Every connection goes to the device's address, whatever host and
    // port the URL names and however libcurl reads them: no lookup of ours
    // or the library's, and no spelling of the host, can lead elsewhere.
    const std::string pin = "::" + r.address.text() + ":" + std::to_string(r.port);
    t.pinned = curl().slist_append(nullptr, pin.c_str());
    curl().easy_setopt(t.easy, CURLOPT_URL, r.url.c_str());
    curl().easy_setopt(t.easy, CURLOPT_CONNECT_TO, t.pinned);
    curl().easy_setopt(t.easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl().easy_setopt(t.easy, CURLOPT_PROXY, "");  // never a proxy from the environment: a third party
    curl().easy_setopt(t.easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl().easy_setopt(t.easy, CURLOPT_NOSIGNAL, 1L);
    // Each device is asked once: a connection kept for reuse only holds a
    // descriptor and memory.
    curl().easy_setopt(t.easy, CURLOPT_FORBID_REUSE, 1L);
    curl().easy_setopt(t.easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connect.count()));
    curl().easy_setopt(t.easy, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.total.count()));
    curl().easy_setopt(t.easy, CURLOPT_USERAGENT, settings.userAgent.c_str());
    curl().easy_setopt(t.easy, CURLOPT_HTTPGET, 1L);
    curl().easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, takeBody);
    curl().easy_setopt(t.easy, CURLOPT_WRITEDATA, &t);
    curl().easy_setopt(t.easy, CURLOPT_HEADERFUNCTION, takeHeader);
    curl().easy_setopt(t.easy, CURLOPT_HEADERDATA, &t);
    curl().easy_setopt(t.easy, CURLOPT_ERRORBUFFER, t.error);
    curl().easy_setopt(t.easy, CURLOPT_PRIVATE, &t);
    curl().easy_setopt(t.easy, CURLOPT_SSL_VERIFYPEER, t.verified ? 1L : 0L);
    curl().easy_setopt(t.easy, CURLOPT_SSL_VERIFYHOST, t.verified ? 2L : 0L);
}

// libcurl's failures in the short words the check uses; false for one that
// says the page was not reached.
std::string failureWords(const Transfer& t, CURLcode code, bool& reached) {
    long os = 0;
    curl().easy_getinfo(t.easy, CURLINFO_OS_ERRNO, &os);
    reached = false;
    switch (code) {
    case CURLE_COULDNT_CONNECT:
        if (os == ECONNREFUSED) return "connection refused";
        if (os == EHOSTUNREACH || os == ENETUNREACH) return "no route to host";
        if (os == ETIMEDOUT) return "timed out";
        return "could not connect";
    case CURLE_OPERATION_TIMEDOUT: return "timed out";
    case CURLE_COULDNT_RESOLVE_HOST: return "name not found";
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: return os == ECONNRESET ? "connection reset" : "connection broken";
    case CURLE_GOT_NOTHING: return "no response";
    default: break;
    }
    reached = true;
    if (code == CURLE_SSL_CONNECT_ERROR) return "TLS handshake failed";
    return t.error[0] ? t.error : curl().easy_strerror(code);
}

// What a finished attempt says; false when it must be tried again without
// verifying the certificate (the page is still worth reading: most devices
// carry one that is self-signed).
bool finish(Transfer& t, CURLcode code) {
    PageCheck& r = *t.result;
    if (t.request->https && t.verified) {
        if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE) {
            r.tls = tlsVerdict(t.error);
            t.verified = false;
            return false;
        }
    }
    // Whatever the URL said, the connection must have gone to the device:
    // a page from anywhere else is thrown away unread.
    char* peer = nullptr;
    curl().easy_getinfo(t.easy, CURLINFO_PRIMARY_IP, &peer);
    if (peer && *peer && t.request->address.text() != peer) {
        r = PageCheck();
        r.outcome = PageCheck::NOT_ALLOWED;
        r.error = std::string("the connection went to ") + peer + ", not to the answering device";
        return true;
    }
    if (t.request->https && t.verified && r.tls.empty()) r.tls = "valid";
    long status = 0;
    curl().easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    const bool gotPage = code == CURLE_OK || (code == CURLE_WRITE_ERROR && status > 0);
    if (!gotPage) {
        bool reached = false;
        r.error = failureWords(t, code, reached);
        // A page that answered and then ran out of time was reached.
        if (status <= 0) {
            r.outcome = reached ? PageCheck::FAILED : PageCheck::UNREACHABLE;
            return true;
        }
    }
    r.outcome = PageCheck::ANSWERED;
    r.status = static_cast<int>(status);
    if (!t.location.empty()) {
        r.hasLocation = true;
        r.location = t.location;
    }
    r.hasTitle = pageTitle(t.body, r.title);
    return true;
}

// Transfers at once, within what the process may open: each takes a
// descriptor, and the rest of the program needs some too.
size_t parallelTransfers(size_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
    const rlim_t room = limit.rlim_cur > 64 ? (limit.rlim_cur - 32) / 2 : 1;
    return std::max<size_t>(1, std::min<size_t>(wanted, room));
}

}  // namespace

void fetchAll(const std::vector<FetchRequest>& requests, std::vector<PageCheck>& results, const CheckSettings& settings,
              CheckClock::time_point until) {
    if (!curl().loaded) {
        for (PageCheck& r : results) {
            r.outcome = PageCheck::FAILED;
            r.error = "libcurl (libcurl4) could not be loaded";
        }
        return;
    }
    CURLM* multi = curl().multi_init();
    // A transfer's time limit runs from the moment it is handed to libcurl,
    // so only `parallel` are handed over at a time: one that waits for a
    // connection has not started its 3 s.
    const size_t parallel = parallelTransfers(settings.parallel);
    std::vector<std::unique_ptr<Transfer>> transfers(requests.size());
    size_t next = 0;
    int active = 0;
    auto start = [&](Transfer& t) {
        setUp(t, settings);
        curl().multi_add_handle(multi, t.easy);
        ++active;
    };
    auto startMore = [&] {
        for (; next < requests.size() && active < static_cast<int>(parallel); ++next) {
            transfers[next] = std::make_unique<Transfer>();
            transfers[next]->request = &requests[next];
            transfers[next]->result = &results[next];
            start(*transfers[next]);
        }
    };
    auto over = [&] { return CheckClock::now() >= until || (settings.stopRequested && settings.stopRequested()); };
    startMore();
    while (active > 0 && !over()) {
        int running = 0;
        curl().multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl().multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl().easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
            const CURLcode code = message->data.result;
            curl().multi_remove_handle(multi, t->easy);
            --active;
            const bool done = finish(*t, code);
            t->release();
            if (done) {
                // Its title is read: 64 KiB held for each device adds up.
                transfers[static_cast<size_t>(t->request - requests.data())].reset();
            } else {
                start(*t);
            }
        }
        startMore();
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - CheckClock::now()).count();
        if (active > 0 && wait > 0)
            curl().multi_poll(multi, nullptr, 0, static_cast<int>(std::min<long long>(wait, 100)), nullptr);
    }
    // What the time or a stop cut short is not checked: the caller says so.
    for (std::unique_ptr<Transfer>& t : transfers) {
        if (!t || !t->easy) continue;
        curl().multi_remove_handle(multi, t->easy);
        *t->result = PageCheck();
    }
    transfers.clear();
    curl().multi_cleanup(multi);
}

}  // namespace webfind
