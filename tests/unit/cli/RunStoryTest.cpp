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
