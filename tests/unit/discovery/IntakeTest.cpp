// From datagrams to devices: what is judged, what the filter keeps, what the
// keeper is given, and the verdicts in the verbose log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/discovery/Intake.h"
#include "app/wire/Messages.h"

using namespace webfind;

using testing::ElementsAre;

namespace {

// Keeps every address once; records what it was given.
class RecordingKeeper : public Keeper {
public:
    bool wanted(const Address& source) const override { return seen.count(source) == 0; }
    Take keep(const Address& source, const std::string& name, const std::string& url) override {
        given.push_back("keep " + source.text() + " " + name + " " + url);
        seen.insert(source);
        return next;
    }
    Take passOver(const Address& source) override {
        given.push_back("pass over " + source.text());
        seen.insert(source);
        return next;
    }
    std::vector<std::string> given;
    std::set<Address> seen;
    Take next = Take::KEPT;
};

class IntakeTest : public testing::Test {
protected:
    bool take(uint8_t last, const BRIVO::Buffer& bytes, uint16_t port = 3576) {
        return intake.take(Datagram{bytes.data(), bytes.size(), Address{{10, 0, 0, last}}, port, true});
    }
    static BRIVO::Buffer answer(const std::string& name, const std::string& url = "http://x/") {
        BRIVO::Buffer b;
        buildAnswer(b, name, url);
        return b;
    }

    RecordingKeeper keeper;
    std::ostringstream logged;
    VerboseLog log{&logged};
    Intake intake{DeviceFilter({"cam"}), TableLimits{2, 3 << 20}, keeper, log};
};

}  // namespace

TEST_F(IntakeTest, TheFilterDecidesBetweenKeepingAndPassingOver) {
    EXPECT_TRUE(take(1, answer("Camera")));
    EXPECT_TRUE(take(2, answer("Printer")));
    EXPECT_THAT(keeper.given, ElementsAre("keep 10.0.0.1 Camera http://x/", "pass over 10.0.0.2"));
    EXPECT_EQ(logged.str(), "webfind: 10.0.0.1:3576 32 bytes: accepted\nwebfind: 10.0.0.2:3576 33 bytes: accepted\n");
}

TEST_F(IntakeTest, RepeatsAndRejectsReachNoKeeperButAreCountedAndLogged) {
    take(1, answer("Camera"));
    take(1, answer("Camera 2"), 4000);
    take(3, BRIVO::Buffer{1, 2, 3});
    intake.take(Datagram{nullptr, 0, Address{{10, 0, 0, 4}}, 1, false});
    EXPECT_EQ(keeper.given.size(), 1u);
    EXPECT_EQ(intake.datagrams(), 4u);
    EXPECT_EQ(intake.rejected(), 2u) << "the short one and the empty one; a repeat is no reject";
    EXPECT_EQ(logged.str(),
              "webfind: 10.0.0.1:3576 32 bytes: accepted\n"
              "webfind: 10.0.0.1:4000 34 bytes: duplicate of an earlier answer\n"
              "webfind: 10.0.0.3:3576 3 bytes: rejected: too short\n"
              "webfind: datagram discarded: empty or longer than 1500 bytes\n");
}

TEST_F(IntakeTest, AFullKeeperIsSaidOnceAndDoneStopsListening) {
    keeper.next = Take::FULL;
    EXPECT_TRUE(take(1, answer("Camera")));
    EXPECT_TRUE(take(2, answer("Camera")));
    EXPECT_EQ(logged.str(),
              "webfind: device table full (at most 2 devices and 3 MiB of names and URLs); answers from further "
              "addresses are left out\n");
    keeper.next = Take::DONE;
    EXPECT_FALSE(take(3, answer("Camera")));
}

// A run with targets hears only what it probed: the rest is turned away,
// counted, and never reaches the keeper.
TEST_F(IntakeTest, WithTargetsAnAnswerFromElsewhereIsTurnedAwayAndCounted) {
    intake.expectFrom([](const Address& a) { return a.bytes[3] == 1; });
    EXPECT_TRUE(take(1, answer("Camera")));
    EXPECT_TRUE(take(2, answer("Camera two")));
    EXPECT_THAT(keeper.given, ElementsAre("keep 10.0.0.1 Camera http://x/"));
    EXPECT_EQ(intake.notTargets(), 1u);
    EXPECT_NE(logged.str().find("10.0.0.2:3576 36 bytes: rejected: not a target"), std::string::npos) << logged.str();
}
