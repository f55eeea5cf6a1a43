#include "Console.h"

// POSIX streams never translate newlines, and terminals take the bytes.
void prepareStandardStreams() {}
