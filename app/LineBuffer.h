#pragma once

#include <functional>
#include <streambuf>
#include <string>

namespace webfind {

// A stream buffer that hands what is written to `sink` one whole line at a
// time (with its newline); a flush hands over an unfinished line too. The
// sink answers false when it could not write, and the stream then fails.
class LineBuffer : public std::streambuf {
public:
    using Sink = std::function<bool(const std::string& text)>;
    explicit LineBuffer(Sink sink) : sink(std::move(sink)) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    bool handOver();

    Sink sink;
    std::string pending;
};

// How a line goes to a Windows console: as UTF-16 text when its bytes are
// UTF-8, otherwise as the bytes themselves (the console's code page decides).
struct ConsoleLine {
    bool asText;
    std::u16string text;  // when asText
};
ConsoleLine forConsole(const std::string& line);

}  // namespace webfind
