#!/usr/bin/env bash
# check-dll.sh OBJDUMP DLL: the plug-in DLL exports exactly the ten entry points
# under their plain names, imports only DLLs that every Windows has, and opens
# files only through CreateFileA, which takes paths in the code page the host
# switched the file functions to (the C library's opening may not).
set -uo pipefail
objdump=$1 dll=$2
headers=$("$objdump" -p "$dll") || { echo "check-dll: cannot read $dll"; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^[ \t]*\[ *[0-9]+\]/ {print $NF; next} on {on = 0}' <<<"$headers" | sort)
imports=$(grep -oP 'DLL Name: \K\S+' <<<"$headers" | tr 'a-z' 'A-Z' | sort)
expected=$(printf '%s\n' ClosePlugin ExitFAR FreeFindData GetFiles GetFindData GetOpenPluginInfo \
  GetPluginInfo OpenFilePlugin OpenPlugin SetStartupInfo | sort)
status=0
if [ "$exports" != "$expected" ]; then
  echo "check-dll: $dll exports"; echo "$exports" | sed 's/^/  /'
  echo "  but should export exactly"; echo "$expected" | sed 's/^/  /'
  status=1
fi
for import in $imports; do
  case "$import" in
    KERNEL32.DLL | USER32.DLL | MSVCRT.DLL) ;;
    *) echo "check-dll: $dll imports $import, which not every Windows has"; status=1 ;;
  esac
done
for opener in fopen _open _sopen _wfopen _fsopen; do
  if grep -qP "^\s+\S+\s+\d+\s+$opener\$" <<<"$headers"; then
    echo "check-dll: $dll imports $opener; files must be opened with CreateFileA"
    status=1
  fi
done
[ $status -eq 0 ] && echo "check-dll: $(basename "$dll") exports the ten entry points; imports $(echo $imports)"
exit $status
