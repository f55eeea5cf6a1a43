#pragma once

#include <string>

namespace webfind {

// `text` as a JSON string, quotes included, for bytes from the network: the
// characters JSON requires are escaped (\", \\, \b \f \n \r \t, other
// controls below 0x20 as \u00XX), and so are the C1 controls and the bidi
// controls, which a terminal showing the JSON would obey; bytes that are not
// UTF-8 become U+FFFD. Everything else is kept as it is, UTF-8 included.
std::string jsonString(const std::string& text);

}  // namespace webfind
