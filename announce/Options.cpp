#include "announce/Options.h"

#include "app/system/CommandLine.h"

namespace webfind::announce {

const char* const HELP_TEXT = R"(Usage: webfind-announce [OPTION]...

Makes this host findable by webfind: answers each discovery probe that
reaches the multicast group 224.0.0.138, UDP port 3576, on this host's
interfaces with one answer that names this host and the URL of its web
interface, sent back to the probe's source. Runs until stopped (Ctrl-C,
SIGINT, SIGTERM), then says what it answered and refused.

It answers only probes sent to the group (not to this host's address), from
a source on the subnet of the interface they came in on, at most 10 answers
a second to one address, 500 (and 128 KiB) to all, and 10 that make this
host look an address up: forged probes cannot make it flood anyone, fill
this host's neighbour table, or keep a real finder from its answer. Nothing
it does waits: an answer or a log line that cannot go at once is dropped
and counted. SIGHUP reads this host's name and interfaces again.

Options:
      --name NAME        the name to announce (default: this host's name)
      --url URL          the URL to announce (default http://{addr}/): an
                         http or https URL that webfind opens. In both,
                         {addr} stands for the address of the interface the
                         probe came in on, {host} for this host's name.
  -i, --interface IF     answer on this interface, given by name (eth0) or
                         by one of its addresses; may be repeated (default:
                         every interface that is up, has an IPv4 address and
                         can multicast, loopback aside). Interfaces that come,
                         go or change address are followed as the system
                         tells of them.
      --unicast-from CIDR
                         also answer unicast probes to this host's own
                         addresses from sources in CIDR (10.1.0.0/24):
                         finders beyond a router (webfind --target). May be
                         repeated; the same limits apply. Off by default.
      --per-source N     answers a second to one address, whatever its
                         ports, 1-1000 (default 10)
      --shared N         answers a second to all sources, 1-100000
                         (default 500)
      --shared-bytes N   bytes of answers a second to all sources,
                         1500-100000000 (default 131072)
  -v, --verbose          on standard error, each datagram answered or
                         refused, and why
      --service          (Windows) run as the service webfind-announce under
                         the Service Control Manager, alone: the options come
                         from the registry (HKLM\Software\webfind,
                         AnnounceOptions), the log goes to
                         ProgramData\webfind\webfind-announce.log
  -h, --help             show this help and exit
  -V, --version          show the version and exit

Exit status: 0 when stopped, 1 when the discovery port cannot be listened
on, 2 on a usage error (an announcement webfind would not accept included).
)";

namespace {

enum { NAME = 256, URL, PER_SOURCE, SHARED, SHARED_BYTES, UNICAST_FROM, SERVICE };

const option LONG_OPTIONS[] = {
    {"name", required_argument, nullptr, NAME},
    {"url", required_argument, nullptr, URL},
    {"interface", required_argument, nullptr, 'i'},
    {"per-source", required_argument, nullptr, PER_SOURCE},
    {"shared", required_argument, nullptr, SHARED},
    {"shared-bytes", required_argument, nullptr, SHARED_BYTES},
    {"unicast-from", required_argument, nullptr, UNICAST_FROM},
    {"verbose", no_argument, nullptr, 'v'},
    {"service", no_argument, nullptr, SERVICE},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

Options usageError(const std::string& problem) {
    Options o;
    o.action = Options::USAGE_ERROR;
    o.problem = problem;
    return o;
}

// A number a second, from `low` to `high`.
bool count(const char* text, long low, long high, uint32_t& value) {
    long n = 0;
    if (!wholeNumber(text, low, high, n)) return false;
    value = static_cast<uint32_t>(n);
    return true;
}

}  // namespace

std::vector<std::string> longOptionNames() { return webfind::longOptionNames(LONG_OPTIONS); }

Options parseOptions(int argc, char** argv) {
    Options o;
    opterr = 0;
    optind = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":i:vhV", LONG_OPTIONS, nullptr)) != -1) {
        switch (c) {
        case NAME:
            o.settings.name = optarg;
            o.nameGiven = true;
            break;
        case URL: o.settings.url = optarg; break;
        case 'i': o.settings.interfaces.push_back(optarg); break;
        case PER_SOURCE:
            if (!count(optarg, 1, 1000, o.settings.limits.perSource))
                return usageError(std::string("--per-source needs a number from 1 to 1000, not '") + optarg + "'");
            break;
        case SHARED:
            if (!count(optarg, 1, 100000, o.settings.limits.shared))
                return usageError(std::string("--shared needs a number from 1 to 100000, not '") + optarg + "'");
            break;
        case SHARED_BYTES:
            // The largest answer fits in a second's bytes.
            if (!count(optarg, 1500, 100000000, o.settings.limits.sharedBytes))
                return usageError(std::string("--shared-bytes needs a number from 1500 to 100000000, not '") + optarg +
                                  "'");
            break;
        case UNICAST_FROM: {
            Address network;
            int prefix = 0;
            if (!parseRange(optarg, network, prefix))
                return usageError(std::string("--unicast-from needs a range such as 10.1.0.0/24, not '") + optarg +
                                  "'");
            o.settings.unicastFrom.emplace_back(network.number(), maskOf(prefix));
            break;
        }
        case 'v': o.settings.verbose = true; break;
        case SERVICE:
            if (argc != 2)
                return usageError(
                    "--service comes alone: the service's options are kept in the registry "
                    "(HKLM\\Software\\webfind, AnnounceOptions)");
            o.action = Options::SERVICE;
            return o;
        case 'h': o.action = Options::HELP; return o;
        case 'V': o.action = Options::VERSION; return o;
        default: return usageError(getoptProblem(c, argv));
        }
    }
    if (optind < argc) return usageError(std::string("unexpected argument '") + argv[optind] + "'");
    return o;
}

}  // namespace webfind::announce
