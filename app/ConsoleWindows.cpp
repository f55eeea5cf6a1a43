#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "Console.h"

// Text mode would turn each "\n" into "\r\n".
void useExactOutputBytes() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
