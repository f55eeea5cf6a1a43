// What a run tells, against the fake platform: where a failed step's line
// goes, what a selective run that matched nothing writes, and a found
// device listed and opened.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "FakePlatform.h"
#include "ParseArgs.h"
#include "RecordingDesktop.h"
#include "app/cli/RunStory.h"
#include "app/wire/Messages.h"

using namespace webfind;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

class RunStory : public FakePlatformTest {
protected:
    ExitStatus tell(const std::vector<std::string>& args, bool errIsTerminal = false) {
        out.str(""), err.str("");
        const Options options = parse(args);
        RunSettings settings;
        settings.filter = DeviceFilter(options.patterns);
        settings.stopAtFirst = options.first;
        return tellRun(options, settings, Telling{out, err, errIsTerminal, &desktop});
    }
    void deviceAnswers(const std::string& name, const std::string& url) {
        BRIVO::Buffer b;
        buildAnswer(b, name, url);
        fake.arrivals.push_back({static_cast<long>(b.size()), b, addressV4(10, 0, 1, 5, 3576), 1});
    }

    std::ostringstream out, err;
    RecordingDesktop recording;
    const Desktop desktop = recording.desktop();
};

}  // namespace

TEST_F(RunStory, AFailedSocketStepIsSaidOnStandardOutputUnlessThatCarriesJson) {
    struct Case {
        std::vector<std::string> args;
        bool onOut;
    };
    for (const Case& c : {Case{{"-n"}, true}, Case{{"--json"}, false}}) {
        fake.socketFails = true;
        EXPECT_EQ(tell(c.args), ExitStatus::SOCKET_FAILURE);
        EXPECT_EQ(c.onOut ? out.str() : err.str().substr(0, 16), "Socket Open Err\n") << c.args[0];
        if (!c.onOut) {
            EXPECT_EQ(out.str(), "");
        }
    }
}

TEST_F(RunStory, PatternsThatMatchNothingAreAResultOfTheirOwn) {
    deviceAnswers("Printer", "http://10.0.1.5/");
    EXPECT_EQ(tell({"--json", "camera"}), ExitStatus::NO_MATCH);
    EXPECT_EQ(out.str(), "[]\n") << "a script reading JSON gets the empty array";
    deviceAnswers("Printer", "http://10.0.1.5/");
    EXPECT_EQ(tell({"-n", "camera"}, true), ExitStatus::NO_MATCH);
    EXPECT_EQ(out.str(), "");
    EXPECT_THAT(err.str(), HasSubstr("no device matched; 1 device answered"));
    EXPECT_THAT(recording.opened, IsEmpty());
}

TEST_F(RunStory, AFoundDeviceIsListedAndOpened) {
    deviceAnswers("Printer", "http://10.0.1.5/");
    EXPECT_EQ(tell({}), ExitStatus::DONE);
    EXPECT_EQ(out.str(), "Name:Printer URL:http://10.0.1.5/\n");
    EXPECT_THAT(recording.opened, ElementsAre("http://10.0.1.5/"));
    deviceAnswers("Printer", "http://10.0.1.5/");
    EXPECT_EQ(tell({"-n"}), ExitStatus::DONE);
    EXPECT_THAT(recording.opened, ElementsAre("http://10.0.1.5/")) << "-n opens nothing";
}

// Many targets: how long they take is said first; on a terminal a count of
// the probes sent is kept on one line and cleared before the result; what
// the targets did is said when nothing answered and a person reads along.
TEST_F(RunStory, ManyTargetsAreSaidBeforeTheyAreProbedAndCountedOnATerminal) {
    fake.recording = false;
    for (bool terminal : {true, false}) {
        out.str(""), err.str("");
        const Options options = parse({"-n"});
        RunSettings settings;
        for (uint32_t i = 1; i <= 3000; ++i) settings.session.targets.push_back(Address::of(0x0A020000u + i));
        EXPECT_EQ(tellRun(options, settings, Telling{out, err, terminal, &desktop}), ExitStatus::DONE);
        const std::string said = err.str();
        EXPECT_EQ(said.rfind("webfind: probing 3000 targets at most 1000 a second: 3 s, up to 9 s when they do not "
                             "answer\n",
                             0),
                  0u)
            << said;
        EXPECT_EQ(said.find("probes sent (") != std::string::npos, terminal) << said;
        EXPECT_EQ(said.find("\r\033[K") != std::string::npos, terminal);
        EXPECT_EQ(said.find("webfind: 0 of 3000 targets answered; 3000 were silent") != std::string::npos, terminal)
            << "as every explanation: to a person reading along";
    }
}
