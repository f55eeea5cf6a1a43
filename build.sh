#!/bin/sh
# The quick start on a fresh Debian machine, needing nothing but a shell:
#   sh build.sh run     build webfind and run it
#   sh build.sh test    build everything and run every test
# Any other make target works too (sh build.sh demo, sh build.sh package).
# make itself is installed when missing (as root; otherwise the command to
# run is printed), and the make targets install the rest.
set -eu
cd "$(dirname "$0")"
if ! command -v make > /dev/null 2>&1; then
    sh scripts/ensure-packages.sh make
fi
exec make "$@"
