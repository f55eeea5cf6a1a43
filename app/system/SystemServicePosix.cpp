#include "app/system/SystemService.h"

namespace webfind {

int runAsSystemService(const std::string&, const ServiceBody&, std::string& problem) {
    problem =
        "--service is for Windows' Service Control Manager; here the systemd unit runs it "
        "(systemctl enable --now webfind-announce)";
    return -1;
}

}  // namespace webfind
