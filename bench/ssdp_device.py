#!/usr/bin/env python3
"""A minimal SSDP device for the first-line benchmark: it joins
239.255.255.250:1900 on the interface with address FIRST and answers every
M-SEARCH at once, from COUNT consecutive addresses starting at FIRST (each
must be on this host), with one root-device response each.

    ssdp_device.py FIRST COUNT SECONDS

Run it only inside a private network namespace."""
import ipaddress
import select
import socket
import struct
import sys
import time

GROUP, PORT = "239.255.255.250", 1900


def main():
    first, count, seconds = ipaddress.IPv4Address(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("", PORT))
    listener.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                        struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(str(first))))
    senders = []
    for i in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((str(first + i), 0))
        senders.append((str(first + i), s))
    print("listening", flush=True)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if not select.select([listener], [], [], 0.5)[0]:
            continue
        data, source = listener.recvfrom(2048)
        if not data.startswith(b"M-SEARCH"):
            continue
        for address, s in senders:
            s.sendto(("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\n"
                      "LOCATION: http://%s/description.xml\r\nSERVER: Linux/6 UPnP/1.0 bench/1\r\n"
                      "ST: upnp:rootdevice\r\nUSN: uuid:bench-%s::upnp:rootdevice\r\n\r\n"
                      % (address, address)).encode(), source)


main()
