#!/bin/sh
# Programs that tests run but that must never be installed on this machine as
# the services they are (Prometheus' promtool comes with the Prometheus
# server, node_exporter is one): each named Debian package is taken apart
# into DEST, without installing it, so no maintainer script runs and nothing
# starts. Its programs are then under DEST/usr/bin. Done once per package.
#   scripts/unpack-tools.sh DEST PACKAGE...
set -u
dest=${1:?usage: unpack-tools.sh DEST PACKAGE...}
shift
mkdir -p "$dest" || exit 1
dest=$(cd "$dest" && pwd)
for package in "$@"; do
    [ -e "$dest/.unpacked-$package" ] && continue
    debs=$(mktemp -d) || exit 1
    # apt-get download needs the package lists; they are fetched once if
    # they are not there.
    if ! (cd "$debs" && apt-get download -q "$package" > /dev/null 2>&1); then
        # Taking turns with any install that runs beside it (ensure-packages.sh).
        [ "$(id -u)" -eq 0 ] && flock /var/lib/apt/webfind-install.lock apt-get update -q > /dev/null
        (cd "$debs" && apt-get download -q "$package") || { rm -rf "$debs"; echo "cannot download $package"; exit 1; }
    fi
    dpkg-deb -x "$debs"/*.deb "$dest" || { rm -rf "$debs"; exit 1; }
    rm -rf "$debs"
    touch "$dest/.unpacked-$package"
done
