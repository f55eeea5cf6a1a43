#include "app/Discovery.h"

namespace webfind {

namespace {

uint32_t readWord(const BRIVO::Buffer& b, size_t offset) {
    return static_cast<uint32_t>(b[offset]) | static_cast<uint32_t>(b[offset + 1]) << 8 |
           static_cast<uint32_t>(b[offset + 2]) << 16 | static_cast<uint32_t>(b[offset + 3]) << 24;
}

void writeWord(BRIVO::Buffer& b, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0; }

}  // namespace

std::string dottedQuad(const uint8_t* a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

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

void buildProbe(BRIVO::Buffer& probe) {
    probe.resize(12);
    writeWord(probe, 0, DISCOVERY_MAGIC);
    writeWord(probe, 4, DISCOVERY_PROBE);
    writeWord(probe, 8, 1);
}

AnswerVerdict judgeAnswer(const BRIVO::Buffer& datagram, std::string& name, std::string& url) {
    const size_t n = datagram.size();
    if (n < 8) return AnswerVerdict::TOO_SHORT;
    if (readWord(datagram, 0) != DISCOVERY_MAGIC) return AnswerVerdict::WRONG_MAGIC;
    if (readWord(datagram, 4) != DISCOVERY_ANSWER) return AnswerVerdict::NOT_AN_ANSWER;
    if (n < 18) return AnswerVerdict::TOO_SHORT;
    // Bytes 8-15 carry nothing the tool uses.
    name = datagram.get_string(datagram.begin() + 16, datagram.end());
    const size_t k = name.size();
    if (n < k + 17) return AnswerVerdict::NAME_NOT_TERMINATED;
    url = datagram.get_string(datagram.begin() + static_cast<std::ptrdiff_t>(17 + k), datagram.end());
    if (url.empty()) return AnswerVerdict::EMPTY_URL;
    if (!startsWith(url, "http://") && !startsWith(url, "https://")) return AnswerVerdict::URL_NOT_HTTP;
    return AnswerVerdict::ACCEPTED;
}

bool parseAnswer(const BRIVO::Buffer& datagram, std::string& name, std::string& url) {
    return judgeAnswer(datagram, name, url) == AnswerVerdict::ACCEPTED;
}

}  // namespace webfind
