#pragma once

#include <cstdint>

#include "Network/Buffer.h"
#include "Network/Clock.h"
#include "Network/DatagramBatch.h"
#include "Network/IPAddress.h"
#include "Network/Socket.h"

namespace BRIVO {

enum WAIT_CODE : int32_t {
    FAIL = 0,       // the wait or the receive itself failed
    TIMEOUT = 1,    // nothing became readable within the wait
    RECEIVED = 2,   // one datagram delivered with its source
    DISCARDED = 3,  // one datagram consumed but not deliverable: empty or over MAX_DATAGRAM_SIZE
};

// An IPv4 socket of one of three kinds. TCP and UDP_MULTICAST (with the
// interface choice and the platform's interface table behind it) are part of
// the library's interface; the tool itself opens UDP_BROADCAST only.
class SocketV4 : public Socket {
public:
    enum Type : int32_t { TCP = KIND_TCP, UDP_BROADCAST = KIND_UDP_BROADCAST, UDP_MULTICAST = KIND_UDP_MULTICAST };

    // Replaces any handle held by a new socket of the requested kind with that
    // kind's options. False when it cannot be created or configured (the object
    // then holds no handle), or at once for an unknown kind (object untouched).
    // Throws Err for UDP_MULTICAST when the interface table cannot be queried.
    bool open(Type requested);

    // Sends all of `payload` as one datagram to bytes 12-15 of `destination`
    // and `destinationPort` (host order); the port inside `destination` is not
    // used. False on failure or a partial send.
    bool sendTo(const Buffer& payload, IPAddress destination, uint16_t destinationPort);

    // Waits at most `waitTime` (millisecond precision) for one datagram. On
    // RECEIVED, `payload` holds exactly its bytes, bytes 0-15 of `source` its
    // IPv4-mapped source address (the port field untouched) and `sourcePort`
    // its source port in host order. On TIMEOUT nothing changes; on FAIL and
    // DISCARDED `payload` is MAX_DATAGRAM_SIZE bytes and the source is unchanged.
    WAIT_CODE receiveFrom(Buffer& payload, IPAddress& source, uint16_t& sourcePort, Clock& waitTime);

    // Takes the datagrams that are already waiting, up to the batch's size,
    // without waiting; `batch.count()` tells how many. False when the receive
    // failed (the batch then holds none).
    bool receiveWaiting(DatagramBatch& batch);

    // Waits at most `waitTime` (millisecond precision, as receiveFrom) for a
    // datagram, then takes what is waiting as receiveWaiting does. RECEIVED
    // with `batch.count()` datagrams (none when the one seen was dropped
    // before it could be read), TIMEOUT with none, or FAIL.
    WAIT_CODE receiveWaiting(DatagramBatch& batch, Clock& waitTime);

    // Asks for a receive queue of `bytes`; the platform may grant less.
    // True when the request was accepted.
    bool setReceiveBuffer(int32_t bytes);

    // Sends multicast datagrams out of the interface with this IPv4 address
    // (network order). True when the platform accepted it.
    bool setMulticastInterface(const uint8_t (&address)[4]);

    // For a listener that answers on the interfaces it chooses (the calls
    // above keep what they do):

    // Lets other sockets bind the same port, as another listener of a
    // group's port on this host would. Before bindV4. True when accepted.
    bool shareAddress();
    // Joins the group in bytes 12-15 of `group` on the interface with the
    // IPv4 address `interfaceAddress` (network order), or leaves it there.
    // True when the platform accepted it.
    bool joinGroup(const IPAddress& group, const uint8_t (&interfaceAddress)[4]);
    bool leaveGroup(const IPAddress& group, const uint8_t (&interfaceAddress)[4]);
    // The same by the interface's number: a membership that outlives a
    // change of the interface's addresses, and can be left after it.
    bool joinGroupOn(const IPAddress& group, uint32_t interfaceIndex);
    bool leaveGroupOn(const IPAddress& group, uint32_t interfaceIndex);
    // Has every receive find out where its datagram arrived.
    bool reportArrival();
    // The local port the socket is bound to (host order); 0 when it is not
    // bound or the platform cannot say. Tells a bindV4 that failed to join
    // its group (no interface to join it on by default) from one that
    // failed to bind.
    uint16_t localPort() const;
    // As the receiveFrom above; on RECEIVED, `arrival` also says where the
    // datagram arrived (all zero where the system does not say). On
    // DISCARDED, too, the source and the arrival are those of the datagram
    // that could not be delivered, so that it can be told of; a datagram the
    // system dropped after the wait saw it is a TIMEOUT.
    WAIT_CODE receiveFrom(Buffer& payload, IPAddress& source, uint16_t& sourcePort, Arrival& arrival, Clock& waitTime);
    // Connects a TCP socket (open(TCP)) to `address`, bytes 12-15, and
    // `port` (host order), waiting at most `waitTime`. True when connected.
    bool connectV4(const IPAddress& address, uint16_t port, const Clock& waitTime);
    // Has every receive with an arrival say how long its datagram waited in
    // the queue. True when the system keeps that time.
    bool reportReceiveTime();
    // From now on no call waits inside the system: a send that cannot go at
    // once fails, with lastError() WOULD_BLOCK. True when accepted.
    bool neverBlock();

private:
    // The receive of both receiveFrom: `take` is the platform's receive;
    // `tellDiscarded`: the source of a datagram not delivered is given too.
    template <typename Take>
    WAIT_CODE receiveOne(Buffer& payload, IPAddress& source, uint16_t& sourcePort, Clock& waitTime, bool tellDiscarded,
                         Take take);
    bool membership(SocketOption option, const IPAddress& group, const uint8_t (&interfaceAddress)[4]);

    // The first local IPv4 address in the system's order, or 127.0.0.1.
    static uint32_t chooseInterfaceAddress();
};

}  // namespace BRIVO
