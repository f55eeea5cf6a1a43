#pragma once

// Every long option of a program named where people look for it: its help,
// its manual page and each shell's completion.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string sourceFile(const std::string& path) {
    std::ifstream in(std::string(SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each of `names` (without dashes) in the help text and in docs/PROGRAM.1,
// completions/PROGRAM.bash, completions/_PROGRAM and completions/PROGRAM.fish.
inline void expectEveryOptionNamed(const std::vector<std::string>& names, const std::string& program,
                                   const std::string& help) {
    struct Place {
        std::string name;
        std::string text;
        std::string before;  // what stands before an option's name there
        std::string dash;    // how a dash is written there
    };
    const std::vector<Place> places = {
        {"--help", help, "--", "-"},
        {"docs/" + program + ".1", sourceFile("docs/" + program + ".1"), "\\-\\-", "\\-"},
        {"completions/" + program + ".bash", sourceFile("completions/" + program + ".bash"), "--", "-"},
        {"completions/_" + program, sourceFile("completions/_" + program), "--", "-"},
        {"completions/" + program + ".fish", sourceFile("completions/" + program + ".fish"), "-l ", "-"},
    };
    for (const Place& place : places) {
        ASSERT_FALSE(place.text.empty()) << place.name << " not found";
        for (const std::string& option : names) {
            std::string written = place.before;
            for (char c : option) written += c == '-' ? place.dash : std::string(1, c);
            size_t at = place.text.find(written);
            // A whole word: "--wait" must not pass for "--watch".
            while (at != std::string::npos && at + written.size() < place.text.size() &&
                   (std::isalnum(static_cast<unsigned char>(place.text[at + written.size()])) ||
                    place.text[at + written.size()] == '-'))
                at = place.text.find(written, at + 1);
            EXPECT_NE(at, std::string::npos) << place.name << " does not name --" << option;
        }
    }
}
