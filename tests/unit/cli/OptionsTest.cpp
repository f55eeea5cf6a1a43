// Command-line parsing, and the one list of options that the help, the
// manual page and every shell's completion name.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "OptionPlaces.h"
#include "ParseArgs.h"
#include "app/cli/Options.h"

using namespace webfind;

using testing::ElementsAre;
using testing::HasSubstr;

TEST(OptionParsing, NoArgumentsIsTheDefaultRun) {
    Options o = parse({});
    EXPECT_EQ(o.action, Options::RUN);
    EXPECT_TRUE(o.open);
    EXPECT_FALSE(o.json);
    EXPECT_FALSE(o.verbose);
    EXPECT_EQ(o.quietWait, Milliseconds(200));
    EXPECT_TRUE(o.interfaces.empty());
}

TEST(OptionParsing, ShortAndLongFormsAgree) {
    Options o = parse({"-n", "-v", "-w", "350", "-i", "eth0", "--interface", "10.0.0.7"});
    EXPECT_FALSE(o.open);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.quietWait, Milliseconds(350));
    EXPECT_THAT(o.interfaces, ElementsAre("eth0", "10.0.0.7"));
    Options l = parse({"--no-open", "--verbose", "--wait=350", "--all-interfaces"});
    EXPECT_FALSE(l.open);
    EXPECT_TRUE(l.verbose);
    EXPECT_EQ(l.quietWait, Milliseconds(350));
    EXPECT_TRUE(l.allInterfaces);
    EXPECT_FALSE(parse({"--json"}).open);
    EXPECT_EQ(parse({"-h"}).action, Options::HELP);
    EXPECT_EQ(parse({"--version"}).action, Options::VERSION);
}

TEST(OptionParsing, UsageErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    for (const Case& c :
         {Case{{"--bogus"}, "--bogus"}, Case{{"-x"}, "-x"}, Case{{"-w"}, "-w"}, Case{{"--wait", "0"}, "'0'"},
          Case{{"--wait", "5001"}, "'5001'"}, Case{{"--wait", "12ms"}, "'12ms'"},
          Case{{"-a", "-i", "eth0"}, "cannot be combined"}, Case{{"--watch=0"}, "'0'"},
          Case{{"--watch=3601"}, "'3601'"}, Case{{"--watch", "--duration=0"}, "'0'"},
          Case{{"--duration=5"}, "needs --watch"}, Case{{"--watch", "--first"}, "cannot be combined"},
          Case{{"--watch", "--wait", "300"}, "--wait"}, Case{{"--metrics", "m.prom"}, "needs --watch"},
          Case{{"--watch", "--metrics="}, "file name"}, Case{{"--page", "-n"}, "--no-open"},
          Case{{"--page", "--json"}, "--json"}, Case{{"--port", "1\x1b]0;x\a"}, "'1\\x1B]0;x\\x07'"},
          Case{{"--wait", "1\n2"}, "'1\\x0A2'"}}) {
        Options o = parse(c.args);
        EXPECT_EQ(o.action, Options::USAGE_ERROR) << c.mentions;
        EXPECT_THAT(o.problem, HasSubstr(c.mentions));
        EXPECT_EQ(o.problem.find('\n'), std::string::npos);
    }
}

TEST(OptionParsing, PatternsStandAnywhereAndWatchHasItsDefaults) {
    Options o = parse({"camera", "-n", "Printer", "--first"});
    EXPECT_THAT(o.patterns, ElementsAre("camera", "Printer"));
    EXPECT_FALSE(o.open);
    EXPECT_TRUE(o.first);
    EXPECT_THAT(parse({"-n", "--", "-odd-name"}).patterns, ElementsAre("-odd-name"));

    Options w = parse({"--watch"});
    EXPECT_TRUE(w.watch);
    EXPECT_EQ(w.watchInterval, std::chrono::seconds(10));
    EXPECT_EQ(w.duration, Milliseconds(0));
    EXPECT_FALSE(w.open) << "a watch never opens a URL";
    Options timed = parse({"--watch=2", "--duration=7", "--json"});
    EXPECT_EQ(timed.watchInterval, std::chrono::seconds(2));
    EXPECT_EQ(timed.duration, std::chrono::seconds(7));
    EXPECT_TRUE(timed.notes.empty());

    // A watch's page: opened, unless -n says only to write it.
    Options live = parse({"--watch=30", "--page", "--json", "--metrics", "/run/webfind/webfind.prom"});
    EXPECT_EQ(live.action, Options::RUN);
    EXPECT_TRUE(live.page);
    EXPECT_FALSE(live.noOpen);
    EXPECT_EQ(live.metrics, "/run/webfind/webfind.prom");
    EXPECT_TRUE(parse({"--watch", "--page", "-n"}).noOpen);
}

TEST(OptionParsing, AnIntervalWrittenAfterASpaceIsAPatternWithAHint) {
    Options o = parse({"--watch", "5"});
    EXPECT_TRUE(o.watch);
    EXPECT_EQ(o.watchInterval, std::chrono::seconds(10));
    EXPECT_THAT(o.patterns, ElementsAre("5")) << "getopt takes it so, and so must we";
    ASSERT_EQ(o.notes.size(), 1u);
    EXPECT_THAT(o.notes[0], HasSubstr("--watch=5"));
    EXPECT_TRUE(parse({"--watch", "cam5"}).notes.empty());
    EXPECT_TRUE(parse({"--watch=5", "5"}).notes.empty());
}

TEST(PortOption, FromTheOptionOrTheEnvironment) {
    char name[] = "webfind", port[] = "--port", value[] = "45678", shortPort[] = "-p";
    char* withOption[] = {name, port, value, nullptr};
    EXPECT_EQ(parseOptions(3, withOption, "40000").port, 45678) << "the option wins";
    char* bare[] = {name, nullptr};
    EXPECT_EQ(parseOptions(1, bare, "40000").port, 40000);
    EXPECT_EQ(parseOptions(1, bare, "").port, 0) << "an empty variable counts as unset";
    EXPECT_EQ(parseOptions(1, bare, nullptr).port, 0);
    EXPECT_THAT(parseOptions(1, bare, "1023").notes, ElementsAre(HasSubstr("below 1024")));
    EXPECT_TRUE(parseOptions(1, bare, "1024").notes.empty());
    char* withShort[] = {name, shortPort, value, nullptr};
    EXPECT_EQ(parseOptions(3, withShort).port, 45678);
    for (const char* bad : {"0", "65536", "70000", "-1", "12ab", " 80"}) {
        Options o = parseOptions(1, bare, bad);
        EXPECT_EQ(o.action, Options::USAGE_ERROR) << bad;
        EXPECT_THAT(o.problem, HasSubstr("WEBFIND_PORT"));
    }
    EXPECT_THAT(parseOptions(1, bare, "\x1b[31m").problem, HasSubstr("'\\x1B[31m'")) << "escaped for a terminal";
}

// A new option that is left out of one of them is caught here.
TEST(OptionList, EveryLongOptionIsInTheHelpTheManualAndEachCompletion) {
    const std::vector<std::string> names = longOptionNames();
    ASSERT_GE(names.size(), 13u);
    expectEveryOptionNamed(names, "webfind", HELP_TEXT);
}
