#!/usr/bin/env bash
# check-dll.sh OBJDUMP DLL: a plug-in DLL exports exactly its entry points
# under their plain names, imports only DLLs that every Windows has, and opens
# no file through the C library. vessor.dll (the old interface) has the ten
# entry points and opens files through CreateFileA, which takes paths in the
# code page the host switched the file functions to; vessor3.dll (the native
# interface) has the fifteen of version 3 it uses and creates files through
# CreateFileW, which takes any letters and, with the long-path prefix, any
# length. Each carries the version resource of the project's version (the
# file manager shows it in the plug-in's information).
set -uo pipefail
objdump=$1 dll=$2
headers=$("$objdump" -p "$dll") || { echo "check-dll: cannot read $dll"; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^[ \t]*\[ *[0-9]+\]/ {print $NF; next} on {on = 0}' <<<"$headers" | sort)
imports=$(grep -oP 'DLL Name: \K\S+' <<<"$headers" | tr 'a-z' 'A-Z' | sort)
case $(basename "$dll") in
  vessor3.dll)
    entry_points=(AnalyseW CloseAnalyseW ClosePanelW ConfigureW ExitFARW FreeFindDataW GetFilesW
      GetFindDataW GetGlobalInfoW GetOpenPanelInfoW GetPluginInfoW OpenW ProcessPanelInputW
      SetDirectoryW SetStartupInfoW)
    creator=CreateFileW ;;
  *)
    entry_points=(ClosePlugin ExitFAR FreeFindData GetFiles GetFindData GetOpenPluginInfo
      GetPluginInfo OpenFilePlugin OpenPlugin SetStartupInfo)
    creator=CreateFileA ;;
esac
expected=$(printf '%s\n' "${entry_points[@]}" | sort)
status=0
if [ "$exports" != "$expected" ]; then
  echo "check-dll: $dll exports"; echo "$exports" | sed 's/^/  /'
  echo "  but should export exactly"; echo "$expected" | sed 's/^/  /'
  status=1
fi
for import in $imports; do
  case "$import" in
    KERNEL32.DLL | USER32.DLL | MSVCRT.DLL) ;;
    # Winsock and SChannel with its certificate store, for a mail account.
    WS2_32.DLL | SECUR32.DLL | CRYPT32.DLL) [[ $dll == *vessor3.dll ]] || {
      echo "check-dll: $dll imports $import, which only vessor3.dll may"; status=1; } ;;
    *) echo "check-dll: $dll imports $import, which not every Windows has"; status=1 ;;
  esac
done
for opener in fopen _open _sopen _wfopen _fsopen _wopen _wsopen; do
  if grep -qP "^\s+\S+\s+\d+\s+$opener\$" <<<"$headers"; then
    echo "check-dll: $dll imports $opener; files must be opened with $creator"
    status=1
  fi
done
if ! grep -qP "^\s+\S+\s+\d+\s+$creator\$" <<<"$headers"; then
  echo "check-dll: $dll does not import $creator, through which it must create files"
  status=1
fi
# The resource directory's type 0x10 is a version; its FileVersion string
# (UTF-16) the project's.
version=$(sed -nE 's/^project\(.* VERSION ([0-9.]+).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
if ! grep -qE '^[0-9a-f]+ +Entry: ID: 0x000010,' <<<"$headers" ||
  [ "$(strings -el "$dll" | grep -A1 -x FileVersion | tail -n 1)" != "$version" ]; then
  echo "check-dll: $dll has no version resource of version $version"
  status=1
fi
[ $status -eq 0 ] && echo "check-dll: $(basename "$dll") exports the ${#entry_points[@]} entry points; imports $(echo $imports); version $version"
exit $status
