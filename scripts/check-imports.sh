#!/usr/bin/env bash
# The patcher must run from any folder on a bare Windows: it may import Windows system DLLs only.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
bad=$(echo "$dlls" | grep -E -v '^(kernel32|user32|gdi32|gdiplus|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|winhttp|bcrypt|msimg32|msvcrt|ws2_32|crypt32|shlwapi|uxtheme|version|api-ms-win-crt-[a-z0-9-]+)\.dll$' || true)
echo "imports of $(basename "$exe"): $(echo $dlls)"
if [ -n "$bad" ]; then
    echo "not a Windows system DLL: $(echo $bad)"
    exit 1
fi
