#include "app/cli/Options.h"

#include <getopt.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "app/base/Text.h"
#include "app/system/CommandLine.h"

namespace webfind {

const char* const HELP_TEXT = R"(Usage: webfind [OPTION]... [PATTERN]...

Finds the devices on the local network that announce a web interface and
opens each one in the desktop's browser. It sends a discovery probe to the
multicast group 224.0.0.138, UDP port 3576, three times 100 ms apart, collects
answers until none has come for 200 ms (5 s at most), and prints one line per
device in address order:

  Name:<name> URL:<url>

Bytes below 0x20 and 0x7F in a name or URL are shown as \xHH. Only URLs free
of spaces, control characters and the characters " < > \ ^ ` { | } are
opened. When more than 32 would be opened, webfind opens one local page that
lists and links them all instead.

With PATTERNs, only devices whose name contains one of them (ignoring the
case of ASCII letters) are listed, opened, or reported; when none matches,
nothing is printed and the exit status is 1.

Options:
  -n, --no-open          list the devices, open nothing
      --page             open one page that lists and links every device
                         instead of each URL (done anyway for more than 32);
                         with --watch, one page kept current each round and
                         reloaded by the browser (with -n: written, its place
                         said, not opened)
      --json             print the devices as one JSON array of objects
                         {"address", "name", "url", "mac", "vendor"} in
                         address order ([] when none, and with exit status 1
                         when PATTERNs or --first found none); opens nothing.
                         Control characters are escaped as JSON requires;
                         bytes that are not valid UTF-8 are replaced by
                         U+FFFD. When a socket operation fails, standard
                         output stays empty and the failure's line goes to
                         standard error.
  -l, --long             under each device's line, its address, MAC address
                         and vendor (from the neighbour table and the IEEE
                         registry; no packet is sent for them)
      --check            fetch each device's page (64 at a time, 3 s each,
                         10 s in all, 64 KiB at most, no redirect followed)
                         and say its status, title and certificate; only a
                         URL whose host is the answering device itself is
                         fetched, and only from it. A page that cannot be
                         reached is not opened. With --watch, each page's
                         verdict follows its device's event as a "checked"
                         event.
  -i, --interface IF     send the probes out of this IPv4 interface, given by
                         name (eth0) or by one of its addresses; may be repeated
  -a, --all-interfaces   send the probes out of every interface that is up,
                         has an IPv4 address and can multicast (not loopback,
                         tunnels or point-to-point links: name those with -i)
  -t, --target TARGET    also probe TARGET by unicast: an address, a range up
                         to /16 (10.2.0.0/24) or a host name; for devices
                         beyond a router. May be repeated; WEBFIND_TARGETS
                         adds more (space-separated). With targets and no -i
                         or -a, no multicast probe is sent. Answers come only
                         from targets and the links probed.
      --rate N           send at most N unicast probes a second (1-100000,
                         default 1000: a /16 takes about 3 minutes)
  -w, --wait MS          quiet time that ends collecting, 1-5000 (default 200)
  -p, --port N           send the probes from local UDP port N (1-65535) and
                         take the answers there, so that a firewall rule can
                         admit them; WEBFIND_PORT=N does the same, the option
                         wins. The package's firewall profiles admit 13576.
      --first            end as soon as the first device (with PATTERNs: the
                         first matching one) answers, and list and open it
                         alone; exit 1 when none answered in the normal run
      --watch[=SECONDS]  probe every SECONDS (1-3600, default 10) until
                         stopped (Ctrl-C) and print one line per event as it
                         happens: the local time, "up", "down" (no answer
                         to a round's probes) or "changed", then the
                         address and Name:... URL:...; with --json, JSON
                         Lines {"event", "time", "address", "name", "url",
                         "mac", "vendor"}. Opens nothing but its --page.
      --duration=SECONDS end a watch after SECONDS
      --metrics FILE     with --watch, write the devices up and the watch's
                         counts to FILE at the end of each round, in the
                         Prometheus text format (for node_exporter's textfile
                         collector); FILE is replaced at once, never half
                         written, and must be missing or a regular file
  -v, --verbose          on standard error: the interfaces probed, each datagram
                         received with its source and verdict, and when nothing
                         answered, what on this host may explain it (also
                         without -v when standard error is a terminal)
  -h, --help             show this help and exit
  -V, --version          show the version and exit

Exit status: 0 when the run completed (also when no device answered), 1 when
PATTERNs or --first found no device (nothing on standard output, but [] with
--json), 255 when a socket operation failed (one
line on standard error says why), 2 on a usage error, 3 when the system's
socket layer could not be started, 4 when standard output could not be
written. A watch ends with 0.

Environment: WEBFIND_PORT (as --port), BROWSER (commands to open URLs with,
separated by colons; %s stands for the URL).

Running webfind sends a multicast probe to your local network.
)";

namespace {

// The problem quotes what was typed or set (argv, WEBFIND_PORT): escaped, so
// a terminal is never handed its controls.
Options usageError(const std::string& problem) {
    Options o;
    o.action = Options::USAGE_ERROR;
    o.problem = escapeForTerminal(problem);
    return o;
}

// A year: long enough for any watch, and the milliseconds fit every clock.
constexpr long MAX_DURATION_SECONDS = 365L * 24 * 3600;

bool allDigits(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    return true;
}

bool portNumber(const char* text, uint16_t& port) {
    long value = 0;
    if (!wholeNumber(text, 1, 65535, value)) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

namespace {

enum { JSON = 256, WATCH, DURATION, FIRST, PAGE, CHECK, METRICS, RATE };

// The one list of long options.
const option LONG_OPTIONS[] = {
    {"no-open", no_argument, nullptr, 'n'},
    {"json", no_argument, nullptr, JSON},
    {"interface", required_argument, nullptr, 'i'},
    {"all-interfaces", no_argument, nullptr, 'a'},
    {"target", required_argument, nullptr, 't'},
    {"rate", required_argument, nullptr, RATE},
    {"wait", required_argument, nullptr, 'w'},
    {"verbose", no_argument, nullptr, 'v'},
    {"port", required_argument, nullptr, 'p'},
    {"first", no_argument, nullptr, FIRST},
    {"watch", optional_argument, nullptr, WATCH},
    {"page", no_argument, nullptr, PAGE},
    {"check", no_argument, nullptr, CHECK},
    {"long", no_argument, nullptr, 'l'},
    {"duration", required_argument, nullptr, DURATION},
    {"metrics", required_argument, nullptr, METRICS},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

std::vector<std::string> longOptionNames() { return longOptionNames(LONG_OPTIONS); }

Options parseOptions(int argc, char** argv, const char* environmentPort, const char* environmentTargets) {
    Options o;
    opterr = 0;
    optind = 0;  // a full reset of getopt's state, not just the index
    int c;
    // Options and patterns in any order; "--" ends the options.
    while ((c = getopt_long(argc, argv, ":ni:at:w:p:lvhV", LONG_OPTIONS, nullptr)) != -1) {
        switch (c) {
        case 'n':
            o.open = false;
            o.noOpen = true;
            break;
        case JSON:
            o.json = true;
            o.open = false;
            break;
        case 'i': o.interfaces.push_back(optarg); break;
        case 'a': o.allInterfaces = true; break;
        case 't':
            if (!*optarg) return usageError("--target needs an address, a range or a host name");
            o.targets.push_back(optarg);
            break;
        case RATE: {
            long rate = 0;
            if (!wholeNumber(optarg, 1, 100000, rate))
                return usageError(std::string("--rate needs a number of probes a second from 1 to 100000, not '") +
                                  optarg + "'");
            o.rate = static_cast<uint32_t>(rate);
            break;
        }
        case 'w': {
            long ms = 0;
            if (!wholeNumber(optarg, 1, 5000, ms))
                return usageError(std::string("--wait needs a number of milliseconds from 1 to 5000, not '") + optarg +
                                  "'");
            o.quietWait = Milliseconds(ms);
            o.quietWaitGiven = true;
            break;
        }
        case FIRST: o.first = true; break;
        case PAGE: o.page = true; break;
        case CHECK: o.check = true; break;
        case METRICS:
            if (!*optarg) return usageError("--metrics needs a file name");
            o.metrics = optarg;
            break;
        case 'l': o.longListing = true; break;
        case WATCH: {
            long seconds = std::chrono::duration_cast<std::chrono::seconds>(WATCH_INTERVAL).count();
            if (optarg && !wholeNumber(optarg, 1, 3600, seconds))
                return usageError(std::string("--watch needs a number of seconds from 1 to 3600, not '") + optarg +
                                  "'");
            o.watch = true;
            o.watchInterval = std::chrono::seconds(seconds);
            // "--watch 5" takes 5 as a name pattern, as getopt must.
            if (!optarg && optind < argc && allDigits(argv[optind]))
                o.notes.push_back(std::string("'") + argv[optind] + "' is taken as a name pattern; for a round every " +
                                  argv[optind] + " s, write --watch=" + argv[optind]);
            break;
        }
        case DURATION: {
            long seconds = 0;
            if (!wholeNumber(optarg, 1, MAX_DURATION_SECONDS, seconds))
                return usageError(std::string("--duration needs a number of seconds from 1 to ") +
                                  std::to_string(MAX_DURATION_SECONDS) + ", not '" + optarg + "'");
            o.duration = std::chrono::seconds(seconds);
            break;
        }
        case 'p':
            if (!portNumber(optarg, o.port))
                return usageError(std::string("--port needs a UDP port number from 1 to 65535, not '") + optarg + "'");
            break;
        case 'v': o.verbose = true; break;
        case 'h': o.action = Options::HELP; return o;
        case 'V': o.action = Options::VERSION; return o;
        default: return usageError(getoptProblem(c, argv));
        }
    }
    for (int i = optind; i < argc; ++i) o.patterns.push_back(argv[i]);
    if (o.allInterfaces && !o.interfaces.empty())
        return usageError("--all-interfaces and --interface cannot be combined");
    if (o.duration.count() && !o.watch) return usageError("--duration needs --watch");
    if (o.watch && o.first) return usageError("--watch and --first cannot be combined");
    if (o.watch && o.quietWaitGiven)
        return usageError("--wait has no meaning with --watch: a round listens until the next");
    if (o.page && !o.watch && !o.open) return usageError("--page opens a page; it cannot go with --no-open or --json");
    if (!o.metrics.empty() && !o.watch)
        return usageError("--metrics needs --watch: the file is written as each round ends");
    // A watch reports events; it opens nothing but its page.
    if (o.watch) o.open = false;
    // The option wins over the environment; an empty variable counts as unset.
    if (o.port == 0 && environmentPort && *environmentPort && !portNumber(environmentPort, o.port))
        return usageError(std::string("WEBFIND_PORT needs a UDP port number from 1 to 65535, not '") + environmentPort +
                          "'");
    if (environmentTargets) {
        std::istringstream words(environmentTargets);
        for (std::string word; words >> word;) o.targets.push_back(word);
    }
    // Other devices may still answer, so this is a note, not a refusal.
    if (o.port != 0 && o.port < 1024)
        o.notes.push_back(
            "webfind-announce does not answer probes from ports below 1024 (a system service's, never a "
            "finder's); other devices may");
    return o;
}

}  // namespace webfind
