#pragma once

#include <string>

namespace webfind {

// The longest title kept, in bytes.
constexpr size_t MAX_TITLE_BYTES = 200;

// The text of the first <title> element of `html`, its character references
// decoded (&amp; &lt; &#233; &#xE9; ...), runs of white space made one
// space, cut at MAX_TITLE_BYTES (never inside a UTF-8 character). False
// when there is no <title>. A reader of this one element, not of HTML: a
// page that is cut short or malformed has a title or none, never a crash.
bool pageTitle(const std::string& html, std::string& title);

}  // namespace webfind
