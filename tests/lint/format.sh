#!/bin/sh
# Every C++ file of the project is as .clang-format has it.
#   tests/lint/format.sh CLANG_FORMAT
set -u
cd "$(dirname "$0")/../.." || exit 1
files=$(find src app announce tools tests bench \( -name '*.cpp' -o -name '*.h' \) -not -path '*/corpus/*' | sort)
# shellcheck disable=SC2086  # one word per file
if "$1" --dry-run -Werror $files; then
    echo "PASS [format]: every C++ file is as .clang-format has it"
else
    echo "FAIL [format]: run: $1 -i \$(git ls-files '*.cpp' '*.h')"
    exit 1
fi
