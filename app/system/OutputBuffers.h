#pragma once

#include <cstddef>
#include <functional>
#include <streambuf>
#include <string>
#include <vector>

namespace webfind {

// Where a stream buffer hands its bytes; false when they could not be
// written, and the stream then fails.
using Sink = std::function<bool(const std::string& bytes)>;

// A stream buffer that hands what is written to `sink` one whole line at a
// time (with its newline); a flush hands over an unfinished line too.
class LineBuffer : public std::streambuf {
public:
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

// A stream buffer that hands what is written to `sink` in blocks: when
// `size` bytes are waiting, and at each flush.
class BlockBuffer : public std::streambuf {
public:
    explicit BlockBuffer(Sink sink, size_t size = 65536);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool handOver();

    Sink sink;
    std::vector<char> storage;
};

// How a line goes to a Windows console: as UTF-16 text when its bytes are
// UTF-8, otherwise as the bytes themselves (the console's code page decides).
struct ConsoleLine {
    bool asText;
    std::u16string text;  // when asText
};
ConsoleLine forConsole(const std::string& line);

}  // namespace webfind
