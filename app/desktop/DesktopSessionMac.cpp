#include "app/desktop/DesktopSession.h"

namespace webfind {

const char* systemOpener() { return "open"; }

// A Mac always has its desktop.
bool graphicalSession(std::string&) { return true; }

}  // namespace webfind
