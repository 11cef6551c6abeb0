#!/bin/sh
# Fails when the Windows program imports a DLL that a Windows machine may
# lack: only the system's own are allowed.
#   system-dlls-only.sh kestravin.exe
set -eu

imports=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no imports read from $1" >&2; exit 1; }
status=0
for dll in $imports; do
    case $(echo "$dll" | tr '[:upper:]' '[:lower:]') in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ntdll.dll) echo "system: $dll" ;;
    *) echo "not a system DLL: $dll" >&2; status=1 ;;
    esac
done
exit $status
