#!/usr/bin/env python3
"""Sends discovery probes the way the announcer's end-to-end cases need, and
counts the answers that come back.

    prober.py multicast SOURCE INTERFACE [TTL]   one probe to the group from
                                                 SOURCE (an address of this
                                                 host), out of the interface
                                                 with address INTERFACE
    prober.py unicast SOURCE DESTINATION [COUNT] one probe (or COUNT) to
                                                 DESTINATION
    prober.py flood FIRST COUNT PROBES INTERFACE RATE [PORTS]
                                                 PROBES probes to the group,
                                                 RATE a second, from COUNT
                                                 consecutive source addresses
                                                 from FIRST (raw packets: the
                                                 sources need not be this
                                                 host's), from port 40000, or
                                                 with PORTS "cycle" from
                                                 another port each time round
                                                 the addresses (no source
                                                 twice), "each" from another
                                                 port each probe (ports
                                                 1024-32767, below those a
                                                 finder's system picks)

    prober.py raw SOURCE PORT INTERFACE          one probe to the group from
                                                 SOURCE:PORT (raw: any address
                                                 and port), out of the
                                                 interface with address
                                                 INTERFACE

    prober.py count PORT SECONDS                 counts the answers to local
                                                 port PORT for SECONDS

multicast and unicast print "answers N" after listening 0.5 s. flood prints
"sent N SECONDS", count "answers N most M" (M: the most to one address).
It runs inside the case's private network namespace only.
"""
import collections
import socket
import struct
import sys
import time

PROBE = struct.pack("<III", 0x207A4673, 2, 1)
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)  # Linux's value, where Python does not name it
GROUP, PORT = "224.0.0.138", 3576


def answers(sock):
    sock.settimeout(0.5)
    count = 0
    try:
        while True:
            sock.recvfrom(2048)
            count += 1
    except socket.timeout:
        pass
    return count


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    total = (total >> 16) + (total & 0xFFFF)
    total += total >> 16
    return ~total & 0xFFFF


def raw_probe(source, sport, summed=True):
    udp_length = 8 + len(PROBE)
    pseudo = socket.inet_aton(source) + socket.inet_aton(GROUP) + struct.pack("!BBH", 0, 17, udp_length)
    udp = struct.pack("!HHHH", sport, PORT, udp_length, 0) + PROBE
    if summed:  # 0: no checksum, as IPv4 allows
        udp = udp[:6] + struct.pack("!H", checksum(pseudo + udp)) + udp[8:]
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + udp_length, 0, 0, 1, 17, 0,
                     socket.inet_aton(source), socket.inet_aton(GROUP))
    return ip + udp


mode = sys.argv[1]
if mode in ("multicast", "unicast"):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((sys.argv[2], 0))
    if mode == "multicast":
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(sys.argv[3]))
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, int(sys.argv[4]) if len(sys.argv) > 4 else 1)
        sock.sendto(PROBE, (GROUP, PORT))
    else:
        for _ in range(int(sys.argv[4]) if len(sys.argv) > 4 else 1):
            sock.sendto(PROBE, (sys.argv[3], PORT))
    print("answers %d" % answers(sock), flush=True)
elif mode == "raw":
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    raw.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(sys.argv[4]))
    raw.sendto(raw_probe(sys.argv[2], int(sys.argv[3])), (GROUP, 0))
elif mode == "flood":
    first = struct.unpack("!I", socket.inet_aton(sys.argv[2]))[0]
    count, probes = int(sys.argv[3]), int(sys.argv[4])
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    raw.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(sys.argv[5]))
    ports = sys.argv[7] if len(sys.argv) > 7 else "fixed"
    packets = [bytearray(raw_probe(socket.inet_ntoa(struct.pack("!I", first + i)), 40000, ports == "fixed"))
               for i in range(count)]
    rate = float(sys.argv[6])
    start = time.monotonic()
    for i in range(probes):
        if i % 100 == 0:
            ahead = start + i / rate - time.monotonic()
            if ahead > 0:
                time.sleep(ahead)
        packet = packets[i % count]
        if ports != "fixed":
            # Ports below the system's ephemeral range: never a finder's own.
            sport = 1024 + (i // count if ports == "cycle" else i) % 31744
            packet[20:22] = struct.pack("!H", sport)
        try:
            raw.sendto(packet, (GROUP, 0))
        except OSError:
            pass
    print("sent %d %.2f" % (probes, time.monotonic() - start), flush=True)
elif mode == "count":
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    sock.bind(("0.0.0.0", int(sys.argv[2])))
    print("listening", flush=True)
    end = time.monotonic() + float(sys.argv[3])
    by = collections.Counter()
    while time.monotonic() < end:
        sock.settimeout(max(0.01, end - time.monotonic()))
        try:
            _, ancillary, _, _ = sock.recvmsg(2048, 64)
        except socket.timeout:
            continue
        for level, kind, data in ancillary:
            if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                by[socket.inet_ntoa(data[8:12])] += 1
    print("answers %d most %d" % (sum(by.values()), max(by.values()) if by else 0), flush=True)
