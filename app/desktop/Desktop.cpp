#include "app/desktop/Desktop.h"

#include "app/desktop/Opener.h"

namespace webfind {

Desktop systemDesktop() { return Desktop{desktopAvailable, openUrl, savePage, settleOpeners, rewritePage}; }

}  // namespace webfind
