#!/usr/bin/env bash
# The Debian package, built by scripts/package-deb.sh from this build and
# unpacked into a throwaway root: its vfolder runs from there and finds its
# plug-in library, the man page renders, the far2l module is where far2l
# looks for system plug-ins with its texts where far2l reads them, and loads
# with exactly its entry points; its dependencies are declared, far2l only
# suggested; lintian finds no error.
#   tests/package_deb_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1 build=$2
for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool >/dev/null; then
    echo "package_deb_test: !!! $tool is not installed (dpkg-dev): the package check is SKIPPED"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failed=1
  fi
}

deb=$(bash "$source_dir/scripts/package-deb.sh" "$build" "$work") || { echo "FAILED: package-deb.sh"; exit 1; }
root=$work/root-installed
dpkg -x "$deb" "$root" || { echo "FAILED: dpkg -x $deb"; exit 1; }
version=$("$build/vfolder" --version)
check "the package is named for vfolder's version and this machine" \
  test "$(basename "$deb")" = "vessor-folder_${version##* }_$(dpkg --print-architecture).deb"
check "vfolder --version runs from the unpacked package" \
  test "$("$root/usr/bin/vfolder" --version)" = "$version"
"$build/mkfolder" "$source_dir/samples/inbox.txt" "$work/INBOX.IDX" >/dev/null ||
  { echo "FAILED: mkfolder"; exit 1; }
listed=$("$root/usr/bin/vfolder" list --tsv "$work/INBOX.IDX") || failed=1
check "vfolder from the package lists a folder through its own plug-in library as the build's does" \
  test -n "$listed" -a "$listed" = "$("$build/vfolder" list --tsv "$work/INBOX.IDX")"
page=$root/usr/share/man/man1/vfolder.1.gz
check "the man page is there, gzipped, and renders without a warning" \
  test -f "$page" -a -z "$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
check "the man page is the repository's" \
  cmp -s <(gzip -dc "$page") "$source_dir/man/vfolder.1"
module=$root/usr/lib/far2l/Plugins/vessor/plug/vessor.far-plug-wide
texts=$root/usr/share/far2l/Plugins/vessor/plug
check "the far2l module is in far2l's system plug-in directory, its texts and help in the shared one" \
  test -f "$module" -a -f "$texts/VessorFolderEng.lng" -a -f "$texts/VessorFolderRus.lng" \
  -a -f "$texts/VessorFolderEng.hlf" -a -f "$texts/VessorFolderRus.hlf"
# As far2l loads it: dlopen by path, every symbol resolved, entry points by name.
check "the installed module loads and exports far2l's entry points" \
  python3 -c 'import ctypes, sys
module = ctypes.CDLL(sys.argv[1], mode=ctypes.RTLD_LOCAL)
for name in sys.argv[2:]:
    getattr(module, name)' "$module" SetStartupInfoW OpenFilePluginW GetFindDataW GetFilesW \
  ClosePluginW GetOpenPluginInfoW GetPluginInfoW GetMinFarVersionW
fields=$(dpkg-deb -f "$deb" Depends Suggests)
check "it depends on the libraries the binaries need and suggests far2l" \
  bash -c 'grep -q "^Depends: .*libc6" <<<"$1" && grep -q "^Depends: .*libstdc++6" <<<"$1" &&
    grep -q "^Suggests: far2l$" <<<"$1" && ! grep -q "^Depends: .*far2l" <<<"$1"' _ "$fields"
if ldd "$build/vfolder" | grep -q libgnutls; then
  check "vfolder's TLS library is a dependency" grep -q "^Depends: .*libgnutls30" <<<"$fields"
fi
check "every file belongs to root" \
  test -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')"

if ! command -v lintian >/dev/null; then
  echo "package_deb_test: !!! lintian is not installed: the package's lintian check is SKIPPED"
  [ $failed -eq 0 ] && exit 77
  exit 1
fi
report=$(lintian --fail-on error "$deb" 2>&1)
status=$?
[ -n "$report" ] && echo "$report"
check "lintian finds no error" test $status -eq 0
exit $failed
