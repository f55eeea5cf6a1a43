#!/bin/sh
# Finds out whether this kernel runs 32-bit x86 programs by running one.
#   scripts/can-run-32bit.sh WORKDIR
# Status 0 when it does; otherwise 1, with one line on standard output
# saying why not. WORKDIR holds the test program (not /tmp, which may be
# mounted noexec).
set -u
work=$(mktemp -d "${1:?usage: can-run-32bit.sh WORKDIR}/probe-32bit.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cat > "$work/exit42.s" <<'ASM'
    .globl _start
_start:                 # exit(42) through the 32-bit system call gate
    movl $1, %eax
    movl $42, %ebx
    int $0x80
ASM
if ! as --32 -o "$work/exit42.o" "$work/exit42.s" 2>/dev/null ||
    ! ld -m elf_i386 -o "$work/exit42" "$work/exit42.o" 2>/dev/null; then
    echo "no 32-bit x86 test program could be built here (binutils without i386 support)"
    exit 1
fi
"$work/exit42" > /dev/null 2>&1
status=$?
[ "$status" -eq 42 ] && exit 0
echo "this kernel cannot run 32-bit x86 programs (a 32-bit test program ended with status $status instead of 42)"
exit 1
