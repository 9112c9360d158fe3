#!/usr/bin/env bash
# Builds the release package: a zip with the 32-bit and 64-bit plug-in folders
# (the DLL and its short text) and vfolder.exe beside each.
# Needs the windows-i686 and windows-x86_64 builds (scripts/setup-windows.sh
# installs their compilers). Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -nE 's/^project\(.* VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
name=vessor-folder-$version-windows
stage=build/package/$name
rm -rf build/package && mkdir -p "$stage"
cp packaging/README.txt "$stage/README.txt"
for arch in i686:32 x86_64:64; do
  preset=windows-${arch%%:*} bits=${arch##*:}
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target vessor vfolder >/dev/null
  mkdir -p "$stage/$bits-bit/VessorFolder"
  "${arch%%:*}-w64-mingw32-strip" -o "$stage/$bits-bit/VessorFolder/vessor.dll" "build/$preset/vessor.dll"
  "${arch%%:*}-w64-mingw32-strip" -o "$stage/$bits-bit/vfolder.exe" "build/$preset/vfolder.exe"
  cp packaging/VessorFolder.txt "$stage/$bits-bit/VessorFolder/VessorFolder.txt"
done
# Windows users expect CRLF in text files.
find "$stage" -name '*.txt' -exec sed -i 's/$/\r/' {} +
(cd build/package && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "build/package/$name.zip"
