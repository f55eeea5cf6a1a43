#!/bin/sh
# Checks a Windows build without running it: the machine type Windows
# expects, and no DLL imported beyond Windows' own.
#   scripts/check-windows-exe.sh EXE i686|x86_64
set -u
exe=${1:?usage: check-windows-exe.sh EXE i686|x86_64}
case ${2:-} in
i686) want='PE32 executable (console) Intel 80386' ;;
x86_64) want='PE32+ executable (console) x86-64' ;;
*) echo "usage: check-windows-exe.sh EXE i686|x86_64" >&2; exit 2 ;;
esac
kind=$(file -b "$exe") || exit 1
case $kind in
"$want"*) ;;
*) echo "$exe: expected '$want', but it is: $kind"; exit 1 ;;
esac
dlls=$("$2-w64-mingw32-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || { echo "$exe: no imported DLL found"; exit 1; }
for dll in $dlls; do
    case $(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]') in
    kernel32.dll | msvcrt.dll | ws2_32.dll | iphlpapi.dll | shell32.dll | user32.dll | advapi32.dll | winhttp.dll | crypt32.dll) ;;
    *) echo "$exe imports $dll, which Windows does not ship"; exit 1 ;;
    esac
done
echo "$exe: $want, imports only" $dlls
