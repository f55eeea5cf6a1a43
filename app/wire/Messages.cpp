#include "app/wire/Messages.h"

#include <algorithm>

namespace webfind {

namespace {

constexpr size_t HEADER_BYTES = 8;  // magic and type
constexpr size_t NAME_OFFSET = 16;  // after the 8 bytes that are not examined
constexpr size_t PROBE_BYTES = 12;
constexpr uint32_t PROBE_THIRD_WORD = 1;

uint32_t readWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void writeWord(BRIVO::Buffer& b, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The NUL-terminated string at `from`, never reaching past `to`, as
// Buffer::get_string takes it.
std::string stringAt(const uint8_t* from, const uint8_t* to) {
    return std::string(from, std::find(from, to, uint8_t{0}));
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

const char* verdictText(AnswerVerdict verdict) {
    switch (verdict) {
    case AnswerVerdict::ACCEPTED: return "accepted";
    case AnswerVerdict::TOO_SHORT: return "too short";
    case AnswerVerdict::WRONG_MAGIC: return "wrong magic";
    case AnswerVerdict::NOT_AN_ANSWER: return "not an answer";
    case AnswerVerdict::NAME_NOT_TERMINATED: return "name not terminated";
    case AnswerVerdict::EMPTY_URL: return "empty URL";
    case AnswerVerdict::URL_NOT_HTTP: return "URL is not http or https";
    }
    return "unknown";
}

BRIVO::AddressV4 discoveryGroupV4() {
    return BRIVO::AddressV4{{static_cast<uint8_t>(DISCOVERY_PORT >> 8), static_cast<uint8_t>(DISCOVERY_PORT & 0xFF)},
                            {DISCOVERY_GROUP.address[12], DISCOVERY_GROUP.address[13], DISCOVERY_GROUP.address[14],
                             DISCOVERY_GROUP.address[15]}};
}

void buildProbe(BRIVO::Buffer& probe) {
    probe.assign(PROBE_BYTES, 0);
    writeWord(probe, 0, DISCOVERY_MAGIC);
    writeWord(probe, 4, DISCOVERY_PROBE);
    writeWord(probe, 8, PROBE_THIRD_WORD);
}

void buildAnswer(BRIVO::Buffer& answer, const std::string& name, const std::string& url) {
    answer.assign(NAME_OFFSET, 0);
    writeWord(answer, 0, DISCOVERY_MAGIC);
    writeWord(answer, 4, DISCOVERY_ANSWER);
    answer.insert(answer.end(), name.begin(), name.end());
    answer.push_back(0);
    answer.insert(answer.end(), url.begin(), url.end());
}

bool isProbe(DatagramBytes datagram) {
    return datagram.size == PROBE_BYTES && readWord(datagram.data) == DISCOVERY_MAGIC &&
           readWord(datagram.data + 4) == DISCOVERY_PROBE;
}

AnswerVerdict judgeAnswer(DatagramBytes datagram, std::string& name, std::string& url) {
    const size_t n = datagram.size;
    const uint8_t* bytes = datagram.data;
    const uint8_t* end = bytes + n;
    if (n < HEADER_BYTES) return AnswerVerdict::TOO_SHORT;
    if (readWord(bytes) != DISCOVERY_MAGIC) return AnswerVerdict::WRONG_MAGIC;
    if (readWord(bytes + 4) != DISCOVERY_ANSWER) return AnswerVerdict::NOT_AN_ANSWER;
    // A name needs at least its terminator and one byte after it; the full
    // minimum (24, with the shortest URL) follows from the rules below.
    if (n < NAME_OFFSET + 2) return AnswerVerdict::TOO_SHORT;
    // Bytes 8-15 carry nothing the tool uses.
    name = stringAt(bytes + NAME_OFFSET, end);
    const size_t k = name.size();
    if (n < NAME_OFFSET + k + 1) return AnswerVerdict::NAME_NOT_TERMINATED;
    url = stringAt(bytes + NAME_OFFSET + k + 1, end);
    if (url.empty()) return AnswerVerdict::EMPTY_URL;
    if (!startsWith(url, "http://") && !startsWith(url, "https://")) return AnswerVerdict::URL_NOT_HTTP;
    return AnswerVerdict::ACCEPTED;
}

bool parseAnswer(const BRIVO::Buffer& datagram, std::string& name, std::string& url) {
    return judgeAnswer(DatagramBytes{datagram.data(), datagram.size()}, name, url) == AnswerVerdict::ACCEPTED;
}

}  // namespace webfind
