#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A local interface with an IPv4 address, as the system lists it.
struct NetInterface {
    std::string name;
    uint8_t address[4];  // network order
    bool up;
    bool multicast;
    bool loopback;
};

// Every IPv4 address of every interface, in the system's order.
std::vector<NetInterface> listInterfaces();
