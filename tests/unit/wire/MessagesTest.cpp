// The discovery messages: the probe and the answer byte for byte, and each
// datagram of tests/golden judged as its NAME.expected says (a new case is a
// new file pair).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "Unescape.h"
#include "app/wire/Messages.h"

using namespace webfind;
using BRIVO::Buffer;

TEST(Answer, IsHeaderEightZerosNameTerminatorAndUrl) {
    Buffer answer(40, 0xEE);
    buildAnswer(answer, "Cam", "http://x/");
    const Buffer expected{0x73, 0x46, 0x7A, 0x20, 0x03, 0,   0,   0,   0,   0,   0,   0,   0,   0,  0,
                          0,    'C',  'a',  'm',  0,    'h', 't', 't', 'p', ':', '/', '/', 'x', '/'};
    EXPECT_EQ(answer, expected);
}

TEST(Probe, IsTwelveExactBytesWhateverTheBufferHeld) {
    const Buffer expected{0x73, 0x46, 0x7A, 0x20, 0x02, 0, 0, 0, 0x01, 0, 0, 0};
    Buffer empty;
    buildProbe(empty);
    EXPECT_EQ(empty, expected);
    Buffer full(1500, 0xEE);
    buildProbe(full);
    EXPECT_EQ(full, expected);
}

namespace fs = std::filesystem;

namespace {

struct Expected {
    std::string verdict;
    std::string name;
    std::string url;
};

Expected readExpected(const fs::path& file) {
    std::ifstream in(file);
    Expected e;
    std::string line;
    while (std::getline(in, line)) {
        auto colon = line.find(": ");
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        if (key == "verdict") e.verdict = value;
        if (key == "name") e.name = unescapeFromTerminal(value);
        if (key == "url") e.url = unescapeFromTerminal(value);
    }
    return e;
}

// Every case either file names: one without its other half fails.
std::vector<std::string> goldenCases() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR))
        if (entry.path().extension() == ".bin" || entry.path().extension() == ".expected")
            names.insert(entry.path().stem().string());
    return std::vector<std::string>(names.begin(), names.end());
}

}  // namespace

class GoldenDatagram : public testing::TestWithParam<std::string> {};

TEST_P(GoldenDatagram, IsJudgedAsExpected) {
    fs::path base = fs::path(GOLDEN_DIR) / GetParam();
    std::ifstream in(base.string() + ".bin", std::ios::binary);
    ASSERT_TRUE(in) << "missing " << base << ".bin";
    BRIVO::Buffer datagram((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(fs::exists(base.string() + ".expected")) << "missing " << base << ".expected";
    Expected expected = readExpected(base.string() + ".expected");

    std::string name, url;
    AnswerVerdict verdict = judgeAnswer(DatagramBytes{datagram.data(), datagram.size()}, name, url);
    EXPECT_EQ(verdictText(verdict), expected.verdict);
    // The tool's interface gives the same answer, with the same strings.
    std::string parsedName, parsedUrl;
    const bool accepted = parseAnswer(datagram, parsedName, parsedUrl);
    EXPECT_EQ(accepted, expected.verdict == "accepted");
    if (accepted) {
        EXPECT_EQ(parsedName, expected.name);
        EXPECT_EQ(parsedUrl, expected.url);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenDatagram, testing::ValuesIn(goldenCases()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string id = info.param;
                             std::replace_if(
                                 id.begin(), id.end(),
                                 [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return id;
                         });
