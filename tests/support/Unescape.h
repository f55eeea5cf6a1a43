#pragma once

#include <string>

// The bytes that a line written with escapeForTerminal stands for: each \xHH
// (two hex digits) is one byte; everything else is itself. Tests read device
// lines and golden files back with it.
std::string unescapeFromTerminal(const std::string& line);
