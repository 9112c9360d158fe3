#!/usr/bin/env bash
# Builds the release package: a zip with, for 32-bit and for 64-bit, the
# plug-in folder of each interface (the DLL, its short text and how to
# install it): VessorFolder3
# (vessor3.dll with its language and help files) for version 3 of the file manager, VessorFolder (vessor.dll)
# for versions 1.75 and 2; and vfolder.exe, which loads the latter.
# Needs the windows-i686 and windows-x86_64 builds (scripts/setup-windows.sh
# installs their compilers). Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -nE 's/^project\(.* VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
name=vessor-folder-$version-windows
stage=build/package/$name
rm -rf "$stage" "build/package/$name.zip" && mkdir -p "$stage"
cp packaging/README.txt "$stage/README.txt"
cp packaging/install/top.txt "$stage/INSTALL.txt"
for arch in i686:32 x86_64:64; do
  preset=windows-${arch%%:*} bits=${arch##*:}
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target vessor vessor3 vfolder >/dev/null
  mkdir -p "$stage/$bits-bit/VessorFolder" "$stage/$bits-bit/VessorFolder3"
  "${arch%%:*}-w64-mingw32-strip" -o "$stage/$bits-bit/VessorFolder/vessor.dll" "build/$preset/vessor.dll"
  "${arch%%:*}-w64-mingw32-strip" -o "$stage/$bits-bit/VessorFolder3/vessor3.dll" "build/$preset/vessor3.dll"
  "${arch%%:*}-w64-mingw32-strip" -o "$stage/$bits-bit/vfolder.exe" "build/$preset/vfolder.exe"
  cp packaging/VessorFolder.txt "$stage/$bits-bit/VessorFolder/VessorFolder.txt"
  cp packaging/VessorFolder3.txt "$stage/$bits-bit/VessorFolder3/VessorFolder3.txt"
  sed "s/@BITS@/$bits/g" packaging/install/bits.txt >"$stage/$bits-bit/INSTALL.txt"
  cp packaging/install/VessorFolder.txt "$stage/$bits-bit/VessorFolder/INSTALL.txt"
  cp packaging/install/VessorFolder3.txt "$stage/$bits-bit/VessorFolder3/INSTALL.txt"
  cp "build/$preset"/VessorFolder*.lng "build/$preset"/VessorFolder*.hlf "$stage/$bits-bit/VessorFolder3/"
done
# Windows users expect CRLF in text files.
find "$stage" -name '*.txt' -exec sed -i 's/$/\r/' {} +
(cd build/package && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "build/package/$name.zip"
