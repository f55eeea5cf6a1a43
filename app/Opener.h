#pragma once

#include <string>

// Asks the desktop to open `url` with the handler registered for its scheme,
// without waiting for it. False, with the reason in `why`, when the handler
// could not be started at all.
bool openUrl(const std::string& url, std::string& why);
