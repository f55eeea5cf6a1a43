#include "Console.h"

// POSIX streams never translate newlines.
void useExactOutputBytes() {}
