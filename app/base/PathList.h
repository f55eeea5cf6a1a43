#pragma once

#include <string>

namespace webfind {

// A search path as Windows keeps it: folders separated by ';'. Folders are
// the same whatever their letter case or a final backslash.

// `list` with `folder` at its end, unless it holds it already.
std::string withFolder(const std::string& list, const std::string& folder);
// `list` without `folder`, wherever and however often it stands; the rest
// as it was.
std::string withoutFolder(const std::string& list, const std::string& folder);

}  // namespace webfind
