#!/bin/sh
# Proves the README's quick start where a new user meets it: a fresh minimal
# Debian 12 (debootstrap --variant=minbase, with only git and ca-certificates
# added, and Debian's update and security sources as an installed system has
# them), a clone of this repository's committed HEAD, and the two commands as
# written: "sh build.sh test", then "sh build.sh run". The test command
# installs and builds everything, and then runs what proves the installation
# (the unit tests and one end-to-end case; the whole suite runs on the host).
# The run probes the network, so it happens inside a private network
# namespace whose loopback carries the multicast route (it finds nothing
# there and must exit 0); the tests make their own namespaces. Packages this
# machine has downloaded already are taken from its apt cache rather than
# downloaded again.
#   scripts/check-fresh-root.sh [DIR]      (default build-fresh-root; needs root)
set -eu
cd "$(dirname "$0")/.."
root=$(mkdir -p "${1:-build-fresh-root}" && cd "${1:-build-fresh-root}" && pwd)
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || { echo "check-fresh-root needs root (debootstrap, chroot, mounts)"; exit 1; }
sh scripts/ensure-packages.sh debootstrap git

if [ ! -x "$root/usr/bin/git" ]; then
    rm -rf "$root"
    echo "=== debootstrap --variant=minbase bookworm into $root"
    mkdir -p "$root.cache"
    debootstrap --variant=minbase --include=git,ca-certificates --cache-dir="$root.cache" \
        bookworm "$root" "$mirror" > "$root.log" 2>&1 || { tail -20 "$root.log"; exit 1; }
fi
cat > "$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security} bookworm-security main
SOURCES
# The machine's downloads (whole ones: apt keeps those on their way in
# partial/), linked in, or copied where links cannot be made.
for deb in /var/cache/apt/archives/*.deb; do
    [ -e "$deb" ] || continue
    ln -f "$deb" "$root/var/cache/apt/archives/" 2> /dev/null || cp "$deb" "$root/var/cache/apt/archives/"
done
for tool in make g++ cmake ip; do
    if chroot "$root" sh -c "command -v $tool" > /dev/null 2>&1; then
        echo "the root is not fresh: it has $tool (remove $root to start again)"
        exit 1
    fi
done

rm -rf "$root/root/webfind"
git clone -q --no-hardlinks "$PWD" "$root/root/webfind"
cp /etc/resolv.conf "$root/etc/resolv.conf"

# The mounts live in a mount namespace of their own and vanish with it.
unshare -m sh -c '
    set -e
    root=$1
    # The root a mount point of its own, as on a real machine: mount
    # namespaces inside (the tests make some) need one.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount -t sysfs sys "$root/sys"
    # A /dev of its own: with the machine /dev bound here, anything run in
    # the root (a test that replaces /dev/null, say) would change the
    # devices of the machine itself.
    mount -t tmpfs -o mode=0755,nosuid tmpfs "$root/dev"
    for node in "null 1 3" "zero 1 5" "full 1 7" "random 1 8" "urandom 1 9" "tty 5 0"; do
        set -- $node
        mknod -m 0666 "$root/dev/$1" c "$2" "$3"
    done
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
    ln -s pts/ptmx "$root/dev/ptmx"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
    ln -s /proc/self/fd "$root/dev/fd"
    ln -s /proc/self/fd/0 "$root/dev/stdin"
    ln -s /proc/self/fd/1 "$root/dev/stdout"
    ln -s /proc/self/fd/2 "$root/dev/stderr"
    mount -t tmpfs tmpfs "$root/tmp"
    echo "=== in the fresh root: sh build.sh test (the unit tests and one end-to-end case)"
    chroot "$root" sh -c "cd /root/webfind && sh build.sh test '\''CTEST_ARGS=-L \"unit|install\"'\''"
    echo "=== in the fresh root, in a private network namespace: sh build.sh run"
    chroot "$root" unshare -n sh -c "
        ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo &&
        cd /root/webfind && sh build.sh run"
' check-fresh-root "$root"
echo "=== the quick start works on a fresh minimal Debian 12"
