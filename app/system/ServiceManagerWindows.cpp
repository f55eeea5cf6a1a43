#include "app/system/ServiceManager.h"

namespace webfind {

// A Windows console program has no such manager and no journal.
ServiceManager::ServiceManager() = default;

void detectJournal() {}

}  // namespace webfind
