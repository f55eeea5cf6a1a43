// Writes pages for the browser tests:
//   page_fixture hostile PAGE LINKS   devices with hostile names and URLs; LINKS
//                                     gets the URLs that must be links, in order
//   page_fixture sample PAGE          a handful of ordinary devices
//   page_fixture watch PAGE           the same as a watch shows them, each
//                                     with its last hour, and two gone

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "app/output/Page.h"

using namespace webfind;

namespace {

struct Sample {
    std::string name;
    std::string url;
    bool linked;  // a link to exactly this URL, or text
};

const Sample HOSTILE[] = {
    {"<script>alert(1)</script>", "http://10.0.0.1/", true},
    {"<img src=x onerror=alert(1)>", "http://10.0.0.2/a?b=1&c=2", true},
    {"\"quoted\" 'single' &amp;", "https://10.0.0.3/'x", true},
    {"\x1b[2J\x07 bell\tand tab", "http://10.0.0.4/", true},
    {"\xff\xfe caf\xc3\xa9", "http://10.0.0.5/caf\xc3\xa9", true},
    {"Script URL", "javascript:alert(1)", false},
    {"Quote in URL", "http://10.0.0.7/\" onmouseover=\"alert(1)", false},
    {"Space in URL", "http://10.0.0.8/a b", false},
    {"</td></tr></table><h1>owned</h1>", "http://10.0.0.9/", true},
    {"Bad bytes in URL", "http://10.0.0.10/\xff", false},
    {"<a href=\"http://evil/\">click</a>", "http://10.0.0.11/", true},
    {"<style>body{display:none}</style>", "http://10.0.0.12/<b>", false},
};

const Sample SAMPLE[] = {
    {"Router", "http://192.168.1.1/", true},
    {"Office printer", "https://192.168.1.2/", true},
    {"Living room camera", "http://192.168.1.3:8080/live", true},
    {"NAS \xe2\x80\x94 backups", "https://192.168.1.4:5001/", true},
    {"Thermostat", "http://192.168.1.5/", true},
};

// The devices at a.b.c.1, a.b.c.2, ... in the order given.
template <size_t N>
DeviceTable table(const Sample (&devices)[N], uint8_t a, uint8_t b, uint8_t c) {
    DeviceTable t;
    for (size_t i = 0; i < N; ++i)
        t.add(Address{{a, b, c, static_cast<uint8_t>(i + 1)}}, devices[i].name, devices[i].url);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: page_fixture hostile PAGE LINKS | sample PAGE | watch PAGE\n");
        return 2;
    }
    const bool hostile = std::strcmp(argv[1], "hostile") == 0;
    std::ofstream page(argv[2], std::ios::binary);
    if (std::strcmp(argv[1], "watch") == 0) {
        const auto now = std::chrono::system_clock::now();
        const DeviceTable up = table(SAMPLE, 192, 168, 1);
        std::map<Address, DrawnStrip> strips;
        WatchPage watching;
        watching.refreshSeconds = 10;
        watching.strips = &strips;
        watching.gone = {{Address{{192, 168, 1, 20}}, "Old phone", now - std::chrono::minutes(12)},
                         {Address{{192, 168, 1, 21}}, "<b>Hostile</b> tablet", now - std::chrono::minutes(40)}};
        // Up all hour, up for half of it, flapping, and the two gone.
        int n = 0;
        for (const auto& device : up) {
            HourStrip s;
            for (int cell = 0; cell < 60; ++cell)
                s.cells.push_back(n == 0 || (n == 1 && cell >= 30) ? HourStrip::UP
                                  : n == 1                         ? HourStrip::UNSEEN
                                  : cell % (n + 2) == 0            ? HourStrip::MIXED
                                                                   : HourStrip::UP);
            strips[device.first] =
                DrawnStrip{stripSvg(s), std::chrono::seconds(n == 0 ? 3 * 86400 + 7200 : 1800 - 60 * n)};
            ++n;
        }
        for (const GoneDevice& g : watching.gone) {
            HourStrip s;
            for (int cell = 0; cell < 60; ++cell) s.cells.push_back(cell < 30 ? HourStrip::UP : HourStrip::DOWN);
            strips[g.address] = DrawnStrip{stripSvg(s), std::chrono::seconds(0)};
        }
        writePage(page, up, nullptr, now, PAGE_LIMIT, &watching);
        return page ? 0 : 1;
    }
    writePage(page, hostile ? table(HOSTILE, 10, 0, 0) : table(SAMPLE, 192, 168, 1), nullptr,
              std::chrono::system_clock::now());
    if (!page) return 1;
    if (hostile && argc > 3) {
        std::ofstream links(argv[3], std::ios::binary);
        for (const Sample& d : HOSTILE)
            if (d.linked) links << d.url << '\n';
    }
    return 0;
}
