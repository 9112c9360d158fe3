#!/usr/bin/env bash
# The benchmarks: Release builds of vessor_bench (Linux in build/bench, with
# vfolder; the Windows ones in build/bench-windows-i686 and -x86_64), then
#   - the Linux build in /dev/shm (tmpfs) and in /tmp, vfolder's outputs and
#     ripmime timed by hyperfine (both installed by scripts/setup.sh),
#   - each Windows build under Wine in /dev/shm, all of one bitness in one
#     Wine process.
#
#   - vfolder imap beside mbsync into a local Dovecot, and vfolder.exe imap
#     of each bitness under Wine beside it (bench/imap_bench.py).
#
#   scripts/bench.sh [--no-windows] [--tmp DIR] [--records N] [--messages N]
#                    [--repeats N] [--verbose] [--smoke] [--only ROWS]
#
# --tmp DIR: every build in DIR only. --smoke: the Linux build once, tiny
# sizes (what ctest runs as bench_smoke), no imap. --no-windows: Linux only, and no
# scripts/setup-windows.sh. Other options go to vessor_bench. Under Wine the
# rounds are 3 unless --repeats says otherwise: creating a file there costs
# more the more files its directory holds, and one export round of the three
# sides takes some 45 s. Exit status 1 when a run failed (the others still
# run); missed targets do not count.
set -euo pipefail
cd "$(dirname "$0")/.."

windows=1
smoke=0
only=
dirs=()
pass=()
wine_repeats=(--repeats 3)
while [ $# -gt 0 ]; do
  case "$1" in
    --no-windows) windows=0 ;;
    --smoke) smoke=1; windows=0; pass+=("$1") ;;
    --repeats) [ $# -ge 2 ] || { echo "bench: --repeats needs a count" >&2; exit 2; }
               pass+=("$1" "$2"); wine_repeats=(); shift ;;
    --only) [ $# -ge 2 ] || { echo "bench: --only needs rows" >&2; exit 2; }
            only=$2; pass+=("$1" "$2"); shift ;;
    --tmp) [ $# -ge 2 ] || { echo "bench: --tmp needs a directory" >&2; exit 2; }
           dirs+=("$(realpath "$2")"); shift ;;
    *) pass+=("$1") ;;
  esac
  shift
done
if [ ${#dirs[@]} -eq 0 ]; then
  if [ $smoke -eq 1 ]; then dirs=(/tmp); else dirs=(/dev/shm /tmp); fi
fi

bash scripts/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target vessor_bench vfolder mkfolder
if [ $windows -eq 1 ]; then
  bash scripts/setup-windows.sh
  for arch in i686 x86_64; do
    cmake -S . -B "build/bench-windows-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" -DVESSOR_BUILD_TESTS=OFF >/dev/null
    cmake --build "build/bench-windows-$arch" --target vessor_bench vfolder
  done
fi

# The file system's name as the kernel mounts it (stat -f calls ext4 ext2/ext3).
# With mounts stacked on one place, the last listed is the one in use.
fs_name() { findmnt -n -o FSTYPE -T "$1" 2>/dev/null | tail -n 1 || stat -f -c %T "$1"; }

# Whether the row `$1` is asked for.
asked() { [ -z "$only" ] || [[ ",$only," == *",$1,"* ]]; }

status=0
[ "$only" != imap ] || dirs=()
for dir in "${dirs[@]}"; do
  echo
  echo "=== Linux, $dir ($(fs_name "$dir"))"
  build/bench/bench/vessor_bench --tmp "$dir" "${pass[@]}" || status=1
done
if [ $windows -eq 1 ] && [ "$only" != imap ]; then
  # Under Wine the Linux root is drive Z:.
  windir=${dirs[0]}
  for arch in i686 x86_64; do
    echo
    echo "=== Windows $arch under Wine, $windir ($(fs_name "$windir"))"
    bash scripts/wine-run.sh 1200 "build/bench-windows-$arch/vessor_bench.exe" \
      --tmp "Z:${windir//\//\\}" "${wine_repeats[@]}" "${pass[@]}" || status=1
  done
fi
if [ $smoke -eq 0 ] && asked imap; then
  echo
  echo "=== vfolder imap into a local Dovecot"
  exes=()
  if [ $windows -eq 1 ]; then
    for arch in i686 x86_64; do exes+=(--windows "build/bench-windows-$arch/vfolder.exe"); done
  fi
  python3 bench/imap_bench.py build/bench/vfolder build/bench/mkfolder "${exes[@]}" || status=1
fi
exit $status
