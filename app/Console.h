#pragma once

// Makes standard output and error write exactly the bytes given: no newline
// translation, so every platform prints the same bytes for the same answers.
void useExactOutputBytes();
