#!/usr/bin/env bash
# Builds the Debian package: build/package/vessor-folder_VERSION_ARCH.deb with
#   /usr/bin/vfolder                  (a link to the program in /usr/lib/vessor-folder,
#                                      which finds the plug-in library beside itself)
#   /usr/lib/vessor-folder/           vfolder and vessor.so
#   /usr/lib/far2l/Plugins/vessor/plug/vessor.far-plug-wide
#   /usr/share/far2l/Plugins/vessor/plug/  its language and help files
#   /usr/share/man/man1/vfolder.1.gz, /usr/share/doc/vessor-folder/
# Its dependencies are what dpkg-shlibdeps finds the binaries need; far2l is
# only suggested. Needs dpkg-dev (scripts/setup.sh). Prints the package's path.
#   scripts/package-deb.sh [BUILD_DIR [OUT_DIR]]
# BUILD_DIR: a configured build to take the binaries from (default: the
# linux preset's, configured here); OUT_DIR: where the package goes (default
# build/package).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
out=${2:-build/package}
[ $# -ge 1 ] || cmake --preset linux >/dev/null
cmake --build "$build" -j2 --target vfolder vessor vessor_far2l_module vessor_far2l_texts >/dev/null
version=$("$build/vfolder" --version | awk '{print $NF}')
arch=$(dpkg --print-architecture)
changelog_version=$(sed -nE '1s/^vessor-folder \(([^)]*)\).*/\1/p' packaging/debian/changelog)
if [ "$changelog_version" != "$version" ]; then
  echo "package-deb: packaging/debian/changelog's top entry is $changelog_version," \
    "vfolder is $version: add an entry" >&2
  exit 1
fi
page_version=$(sed -nE '1s/.*"vfolder ([^"]*)".*/\1/p' man/vfolder.1)
if [ "$page_version" != "$version" ]; then
  echo "package-deb: man/vfolder.1 is of vfolder $page_version: make it anew with" \
    "python3 man/make_vfolder_page.py $build/vfolder > man/vfolder.1" >&2
  exit 1
fi

work=$out/deb
root=$work/root
rm -rf "$work" && mkdir -p "$root/DEBIAN"
doc=$root/usr/share/doc/vessor-folder
plug_lib=$root/usr/lib/far2l/Plugins/vessor/plug
plug_share=$root/usr/share/far2l/Plugins/vessor/plug
install -d "$root/usr/bin" "$root/usr/lib/vessor-folder" "$plug_lib" "$plug_share" \
  "$root/usr/share/man/man1" "$doc"
# Stripped as dh_strip strips: the notes and comments too.
strip --remove-section=.comment --remove-section=.note -o "$root/usr/lib/vessor-folder/vfolder" \
  "$build/vfolder"
strip --remove-section=.comment --remove-section=.note --strip-unneeded \
  -o "$root/usr/lib/vessor-folder/vessor.so" "$build/vessor.so"
strip --remove-section=.comment --remove-section=.note --strip-unneeded \
  -o "$plug_lib/vessor.far-plug-wide" "$build/far2l/vessor/vessor.far-plug-wide"
chmod 755 "$root/usr/lib/vessor-folder/vfolder"
chmod 644 "$root/usr/lib/vessor-folder/vessor.so" "$plug_lib/vessor.far-plug-wide"
ln -s ../lib/vessor-folder/vfolder "$root/usr/bin/vfolder"
install -m 644 "$build"/far2l/vessor/*.lng "$build"/far2l/vessor/*.hlf "$plug_share/"
gzip -9n <man/vfolder.1 >"$root/usr/share/man/man1/vfolder.1.gz"
gzip -9n <packaging/debian/changelog >"$doc/changelog.gz"
install -m 644 packaging/debian/copyright "$doc/copyright"
chmod 644 "$root/usr/share/man/man1/vfolder.1.gz" "$doc/changelog.gz"

# dpkg-shlibdeps reads the package's name from a control file of the source.
mkdir -p "$work/debian"
printf 'Source: vessor-folder\n\nPackage: vessor-folder\nArchitecture: any\n' \
  >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O root/usr/lib/vessor-folder/vfolder \
  root/usr/lib/vessor-folder/vessor.so root/usr/lib/far2l/Plugins/vessor/plug/vessor.far-plug-wide |
  sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
  -e "s/@DEPENDS@/$depends/" packaging/debian/control.in >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -exec md5sum {} + | sort -k 2) >"$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/vessor-folder_${version}_$arch.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
