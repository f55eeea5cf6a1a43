#include "app/system/OutputBuffers.h"

#include "app/base/Utf8.h"

namespace webfind {

LineBuffer::int_type LineBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize LineBuffer::xsputn(const char* text, std::streamsize count) {
    pending.append(text, static_cast<size_t>(count));
    if (pending.find('\n') == std::string::npos) return count;
    // Everything up to the last newline goes now, one line per sink call.
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
        if (!sink(pending.substr(start, end + 1 - start))) {
            pending.erase(0, end + 1);
            return 0;
        }
    pending.erase(0, start);
    return count;
}

int LineBuffer::sync() { return handOver() ? 0 : -1; }

bool LineBuffer::handOver() {
    if (pending.empty()) return true;
    bool written = sink(pending);
    pending.clear();
    return written;
}

BlockBuffer::BlockBuffer(Sink sink, size_t size) : sink(std::move(sink)), storage(size) {
    setp(storage.data(), storage.data() + storage.size());
}

BlockBuffer::int_type BlockBuffer::overflow(int_type c) {
    if (!handOver()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int BlockBuffer::sync() { return handOver() ? 0 : -1; }

bool BlockBuffer::handOver() {
    const size_t waiting = static_cast<size_t>(pptr() - pbase());
    if (waiting == 0) return true;
    bool written = sink(std::string(pbase(), waiting));
    setp(storage.data(), storage.data() + storage.size());
    return written;
}

ConsoleLine forConsole(const std::string& line) {
    if (!validUtf8(line)) return {false, {}};
    return {true, utf16FromUtf8(line)};
}

}  // namespace webfind
