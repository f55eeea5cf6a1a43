#include "app/Console.h"

namespace webfind {

// POSIX streams never translate newlines, and terminals take the bytes.
void prepareStandardStreams() {}

}  // namespace webfind
