// Fetching device pages with WinHTTP, Windows' own: one thread per fetch in
// flight, every connection made to the answering device's address.

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include "app/base/Utf8.h"
#include "app/inspect/Check.h"
#include "app/inspect/Title.h"

namespace webfind {

namespace {

// Text that is not UTF-8 is sent as nothing rather than as something else.
std::wstring wide(const std::string& text) { return wideFromUtf8(validUtf8(text) ? text : std::string()); }

// Closes a WinHTTP handle when it goes.
struct Handle {
    HINTERNET h;
    explicit Handle(HINTERNET h) : h(h) {}
    ~Handle() {
        if (h) WinHttpCloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

std::string errorText(DWORD code) {
    switch (code) {
    case ERROR_WINHTTP_CANNOT_CONNECT: return "could not connect";
    case ERROR_WINHTTP_TIMEOUT: return "timed out";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "connection reset";
    case ERROR_WINHTTP_SECURE_FAILURE: return "TLS handshake failed";
    default: return "WinHTTP error " + std::to_string(code);
    }
}

bool unreachable(DWORD code) {
    return code == ERROR_WINHTTP_CANNOT_CONNECT || code == ERROR_WINHTTP_TIMEOUT ||
           code == ERROR_WINHTTP_CONNECTION_ERROR;
}

// The certificate's verdict, from the flags of a secure failure.
std::string verdictOf(DWORD flags, HINTERNET request) {
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) return "expired";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) return "name-mismatch";
    PCCERT_CONTEXT cert = nullptr;
    DWORD size = sizeof cert;
    if (WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) && cert) {
        const bool selfSigned =
            CertCompareCertificateName(X509_ASN_ENCODING, &cert->pCertInfo->Subject, &cert->pCertInfo->Issuer) != FALSE;
        CertFreeCertificateContext(cert);
        if (selfSigned) return "self-signed";
    }
    return "untrusted";
}

struct Attempt {
    DWORD error = 0;
    DWORD secureFlags = 0;
};

void CALLBACK noteSecureFailure(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && info)
        reinterpret_cast<Attempt*>(context)->secureFlags = *static_cast<DWORD*>(info);
}

// One GET; false when it failed before a response (the reason in `attempt`).
bool get(HINTERNET connection, const FetchRequest& r, const std::wstring& path, bool verify, Attempt& attempt,
         PageCheck& result, const CheckSettings& settings) {
    const auto deadline = std::chrono::steady_clock::now() + settings.total;
    Handle request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, r.https ? WINHTTP_FLAG_SECURE : 0));
    if (!request.h) {
        attempt.error = GetLastError();
        return false;
    }
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request.h, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    DWORD noCookies = WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(request.h, WINHTTP_OPTION_DISABLE_FEATURE, &noCookies, sizeof noCookies);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&attempt);
    WinHttpSetOption(request.h, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    WinHttpSetStatusCallback(request.h, noteSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    if (!verify) {
        DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        WinHttpSetOption(request.h, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
    }
    // The connection goes to the device's address; the server is told the
    // host the URL names.
    const std::wstring host =
        L"Host: " + wide(r.host) + ((r.https ? r.port != 443 : r.port != 80) ? L":" + std::to_wstring(r.port) : L"");
    WinHttpAddRequestHeaders(request.h, host.c_str(), static_cast<DWORD>(-1),
                             WINHTTP_ADDREQ_FLAG_REPLACE | WINHTTP_ADDREQ_FLAG_ADD);
    if (!WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.h, nullptr)) {
        attempt.error = GetLastError();
        if (attempt.error == ERROR_WINHTTP_SECURE_FAILURE && verify)
            result.tls = verdictOf(attempt.secureFlags, request.h);
        return false;
    }
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    result.status = static_cast<int>(status);
    wchar_t location[2048];
    size = sizeof location;
    if (WinHttpQueryHeaders(request.h, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location, &size,
                            WINHTTP_NO_HEADER_INDEX)) {
        result.hasLocation = true;
        result.location = utf8FromWide(std::wstring(location, size / sizeof(wchar_t)));
    }
    std::string body;
    char chunk[8192];
    for (DWORD read = 0; body.size() < settings.maxBytes; body.append(chunk, read)) {
        // WinHTTP's limits are per call: a page that trickles is held to
        // the whole fetch's limit by giving each read only what is left.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.error = errorText(ERROR_WINHTTP_TIMEOUT);
            break;
        }
        DWORD wait = static_cast<DWORD>(left.count());
        WinHttpSetOption(request.h, WINHTTP_OPTION_RECEIVE_TIMEOUT, &wait, sizeof wait);
        if (!WinHttpReadData(request.h, chunk,
                             static_cast<DWORD>(std::min(sizeof chunk, settings.maxBytes - body.size())), &read)) {
            result.error = errorText(GetLastError());
            break;
        }
        if (read == 0) break;
    }
    result.hasTitle = pageTitle(body, result.title);
    return true;
}

void fetchOne(const FetchRequest& r, PageCheck& result, const CheckSettings& settings) {
    Handle session(WinHttpOpen(wide(settings.userAgent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.h) {
        result.error = errorText(GetLastError());
        return;
    }
    const int connect = static_cast<int>(settings.connect.count()), total = static_cast<int>(settings.total.count());
    WinHttpSetTimeouts(session.h, 0, connect, total, total);
    // The connection goes to the device's address itself, never to a name:
    // no spelling of the URL's host can lead elsewhere.
    Handle connection(WinHttpConnect(session.h, wide(r.address.text()).c_str(), r.port, 0));
    if (!connection.h) {
        result.error = errorText(GetLastError());
        return;
    }
    const size_t pathAt = r.url.find_first_of("/?#", r.url.find("//") + 2);
    std::string path = pathAt == std::string::npos ? "/" : r.url.substr(pathAt);
    path = path.substr(0, path.find('#'));
    if (path.empty() || path[0] == '?') path = "/" + path;
    Attempt attempt;
    if (get(connection.h, r, wide(path), true, attempt, result, settings)) {
        if (r.https) result.tls = "valid";
        result.outcome = PageCheck::ANSWERED;
        return;
    }
    if (attempt.error == ERROR_WINHTTP_SECURE_FAILURE) {
        Attempt again;
        if (get(connection.h, r, wide(path), false, again, result, settings)) {
            result.outcome = PageCheck::ANSWERED;
            return;
        }
        attempt = again;
    }
    result.error = errorText(attempt.error);
    result.outcome = unreachable(attempt.error) ? PageCheck::UNREACHABLE : PageCheck::FAILED;
}

// The fetches of one check, shared with the threads that make them: a
// thread still inside WinHTTP when the check has ended (its time ran out, a
// stop) keeps them alive until its own time limit ends it.
struct Fetches {
    std::vector<FetchRequest> requests;
    std::vector<PageCheck> results;
    std::vector<bool> finished;
    CheckSettings settings;
    size_t next = 0, done = 0;
    std::mutex lock;
    std::condition_variable progress;

    void work() {
        std::unique_lock<std::mutex> held(lock);
        while (next < requests.size()) {
            const size_t i = next++;
            held.unlock();
            PageCheck result;
            fetchOne(requests[i], result, settings);
            held.lock();
            results[i] = std::move(result);
            finished[i] = true;
            ++done;
            progress.notify_all();
        }
    }
};

}  // namespace

void fetchAll(const std::vector<FetchRequest>& requests, std::vector<PageCheck>& results, const CheckSettings& settings,
              CheckClock::time_point until) {
    if (requests.empty()) return;
    auto fetches = std::make_shared<Fetches>();
    fetches->requests = requests;
    fetches->results.resize(requests.size());
    fetches->finished.assign(requests.size(), false);
    fetches->settings = settings;
    fetches->settings.stopRequested = nullptr;  // asked here, on this thread only
    std::vector<std::thread> workers;
    for (size_t w = 0; w < std::min(settings.parallel, requests.size()); ++w)
        workers.emplace_back([fetches] { fetches->work(); });
    std::unique_lock<std::mutex> held(fetches->lock);
    auto stop = [&] { return settings.stopRequested && settings.stopRequested(); };
    while (fetches->done < requests.size() && !stop() && CheckClock::now() < until)
        fetches->progress.wait_until(held, std::min(until, CheckClock::now() + std::chrono::milliseconds(100)));
    const bool all = fetches->done == requests.size();
    fetches->next = requests.size();
    // What the time or a stop cut short is not checked: the caller says so.
    for (size_t i = 0; i < requests.size(); ++i)
        if (fetches->finished[i]) results[i] = fetches->results[i];
    held.unlock();
    for (std::thread& t : workers) {
        if (all)
            t.join();
        else
            t.detach();
    }
}

}  // namespace webfind
