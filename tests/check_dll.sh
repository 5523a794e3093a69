#!/usr/bin/env bash
# The shipped DLL: 32-bit, imports system DLLs only and from them only functions Windows XP SP3
# has, exports winampDSPGetHeader2 undecorated.
set -u
dll="$1"
objdump=i686-w64-mingw32-objdump
fail=0

dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }

if ! "$objdump" -f "$dll" | grep -q 'file format pei-i386'; then
  echo "not a PE32 i386 image:"; "$objdump" -f "$dll"; fail=1
fi

allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|ole32|oleaut32|wsock32|ws2_32|iphlpapi|winmm|advapi32|shell32|shlwapi|msvcrt|version|imm32|uxtheme)\.dll$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports: $(echo $imports)"
[ -n "$imports" ] || { echo "no import table found"; fail=1; }
for name in $imports; do
  if ! [[ "$name" =~ $allowed ]]; then
    echo "imports a non-system DLL: $name"; fail=1
  fi
done

# Every imported function must be one the plug-in is known to use and Windows XP SP3 exports.
known=$(sed -e 's/#.*//' "$(dirname "$0")/xp_imports.txt" |
        awk 'NF > 1 { for (i = 2; i <= NF; i++) print tolower($1) ".dll!" $i }' | sort -u)
functions=$(printf '%s\n' "$dump" | sed -n '/The Import Tables/,/The Export Tables/p' |
            awk '/DLL Name:/ { dll = tolower($3); next }
                 dll && $1 ~ /^[0-9a-f]+$/ && NF == 3 { print dll "!" $3 }
                 dll && $1 ~ /^[0-9a-f]+$/ && NF == 2 { print dll "!#" $2 }' | sort -u)
echo "imported functions: $(printf '%s\n' "$functions" | grep -c .)"
unknown=$(comm -23 <(printf '%s\n' "$functions") <(printf '%s\n' "$known"))
for name in $unknown; do
  echo "imports $name: not in tests/xp_imports.txt, the functions the plug-in uses that Windows XP SP3 has"
  fail=1
done

exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p')
echo "exports: $(echo $exports)"
if [ "$exports" != "winampDSPGetHeader2" ]; then
  echo "expected exactly the export winampDSPGetHeader2"; fail=1
fi

[ $fail -eq 0 ] && echo "dll check passed"
exit $fail
