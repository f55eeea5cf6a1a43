#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Network/Buffer.h"
#include "Network/IPAddress.h"
#include "Network/Platform.h"

namespace webfind {

// The discovery datagram formats, the one place that knows them: a 12-byte
// probe from the tool, and an answer from a device carrying its name and the
// URL of its web interface. Integer fields are little-endian 32-bit words.

constexpr uint32_t DISCOVERY_MAGIC = 0x207A4673;
constexpr uint32_t DISCOVERY_PROBE = 2;
constexpr uint32_t DISCOVERY_ANSWER = 3;
// Probes go to this group and port; devices listen there.
const BRIVO::IPAddress DISCOVERY_GROUP(224, 0, 0, 138, 0);
constexpr uint16_t DISCOVERY_PORT = 3576;

// The group and port as the platform takes an address (for asking the
// routing table where the probes go).
BRIVO::AddressV4 discoveryGroupV4();

// The bytes of one received datagram, wherever they are held.
struct DatagramBytes {
    const uint8_t* data;
    size_t size;
};

// The acceptance rules in the order they are tested; the first that fails
// decides the verdict.
enum class AnswerVerdict {
    ACCEPTED,
    TOO_SHORT,  // fewer than 8 bytes, or fewer than 18 after the header
    WRONG_MAGIC,
    NOT_AN_ANSWER,  // a probe or any other message type
    NAME_NOT_TERMINATED,
    EMPTY_URL,
    URL_NOT_HTTP,  // the URL begins with neither http:// nor https://
};

// A short phrase for people ("too short", "wrong magic", ...).
const char* verdictText(AnswerVerdict verdict);

// Replaces the buffer's content by the 12-byte probe.
void buildProbe(BRIVO::Buffer& probe);

// Replaces the buffer's content by an answer carrying `name` and `url`: the
// header, 8 zero bytes, the name and its 0 byte, then the URL running to the
// end of the datagram (a terminator after it is allowed but not needed).
void buildAnswer(BRIVO::Buffer& answer, const std::string& name, const std::string& url);

// True when the datagram is a probe: 12 bytes, the magic and the probe's
// type (its third word is not examined). What a device answers.
bool isProbe(DatagramBytes datagram);

// Judges one received datagram. On ACCEPTED, `name` and `url` hold the
// device's strings; otherwise they are unspecified.
AnswerVerdict judgeAnswer(DatagramBytes datagram, std::string& name, std::string& url);

// True when the datagram (the buffer's size is its length) is a valid answer;
// `name` and `url` then hold its strings. Part of the tool's interface: the
// run itself uses judgeAnswer, which also says why a datagram was rejected.
bool parseAnswer(const BRIVO::Buffer& datagram, std::string& name, std::string& url);

}  // namespace webfind
