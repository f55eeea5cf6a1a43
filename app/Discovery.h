#pragma once

#include <cstdint>
#include <string>

#include "Network/Buffer.h"
#include "Network/IPAddress.h"

namespace webfind {

// The discovery datagram formats: a 12-byte probe from the tool, and an answer
// from a device carrying its name and the URL of its web interface. Integer
// fields are little-endian 32-bit words.

constexpr uint32_t DISCOVERY_MAGIC = 0x207A4673;
constexpr uint32_t DISCOVERY_PROBE = 2;
constexpr uint32_t DISCOVERY_ANSWER = 3;
const BRIVO::IPAddress DISCOVERY_GROUP(224, 0, 0, 138, 0);
constexpr uint16_t DISCOVERY_PORT = 3576;

// The acceptance rules in the order they are tested; the first that fails
// decides the verdict.
enum class AnswerVerdict {
    ACCEPTED,
    TOO_SHORT,              // fewer than 8 bytes, or fewer than 18 after the header
    WRONG_MAGIC,
    NOT_AN_ANSWER,          // a probe or any other message type
    NAME_NOT_TERMINATED,
    EMPTY_URL,
    URL_NOT_HTTP,           // the URL begins with neither http:// nor https://
};

// A short phrase for people ("too short", "wrong magic", ...).
const char* verdictText(AnswerVerdict verdict);

// Replaces the buffer's content by the 12-byte probe.
void buildProbe(BRIVO::Buffer& probe);

// Judges one received datagram (the buffer's size is the datagram's length).
// On ACCEPTED, `name` and `url` hold the device's strings; otherwise they are
// unspecified.
AnswerVerdict judgeAnswer(const BRIVO::Buffer& datagram, std::string& name, std::string& url);

// Dotted-quad text of four IPv4 address bytes in network order.
std::string dottedQuad(const uint8_t* address);

// True when the datagram is a valid answer; `name` and `url` then hold its strings.
bool parseAnswer(const BRIVO::Buffer& datagram, std::string& name, std::string& url);

}  // namespace webfind
