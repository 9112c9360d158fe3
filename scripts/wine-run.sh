#!/usr/bin/env bash
# Run a Windows program under Wine with a time limit.
#
#   scripts/wine-run.sh TIMEOUT_SECONDS PROGRAM.exe [ARGS...]
#
# - 32-bit (i386) PE files run through `wine` (the 32-bit loader; on a kernel
#   without 32-bit support it runs under qemu-i386 via binfmt_misc, see
#   scripts/setup-windows.sh), 64-bit (AMD64) PE files through
#   /usr/lib/wine/wine64 directly (the `wine` script would start the 32-bit
#   loader first, which is slow under qemu).
# - Uses the private prefix ${VESSOR_WINEPREFIX:-/root/.cache/vessor-wine}
#   (created by scripts/setup-windows.sh), WINEDEBUG=-all and
#   WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" (no Mono/Gecko prompts, no
#   debugger on a crash).
#   VESSOR_WINEDEBUG=err+all (say) shows Wine's own error messages.
# - When 32-bit ELF programs run through qemu-i386 (binfmt_misc), sets
#   QEMU_RESERVED_VA=0xffff0000: without it the 32-bit loader fails with
#   "failed to map the shared user data: c0000018".
# - Exit status: the program's own (Wine passes the low 8 bits on), 124 when
#   the time limit was hit (the program is killed), 125-127 for problems of
#   this script itself (bad usage, file missing, prefix missing).
set -euo pipefail

usage() {
  echo "usage: $0 TIMEOUT_SECONDS PROGRAM.exe [ARGS...]" >&2
  exit 125
}

[ $# -ge 2 ] || usage
limit=$1
prog=$2
shift 2
[[ $limit =~ ^[0-9]+$ ]] && [ "$limit" -gt 0 ] || {
  echo "wine-run: TIMEOUT_SECONDS must be a positive integer, got '$limit'" >&2
  usage
}
[ -f "$prog" ] || { echo "wine-run: no such file: $prog" >&2; exit 127; }

export WINEPREFIX="${VESSOR_WINEPREFIX:-/root/.cache/vessor-wine}"
export WINEDEBUG="${VESSOR_WINEDEBUG:--all}"
# No debugger on a crash: under qemu it would hold the run until its time
# limit; the crash ends the program with a status of its own instead.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset WINEARCH WINELOADER 2>/dev/null || true
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
  export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xffff0000}"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-run: Wine prefix $WINEPREFIX does not exist; run scripts/setup-windows.sh first" >&2
  exit 126
fi

# PE machine type: e_lfanew (little-endian u32 at 0x3c) -> "PE\0\0", then the
# COFF Machine field (u16). 0x014c = i386, 0x8664 = AMD64.
read_u() { # FILE OFFSET SIZE -> unsigned decimal (little-endian)
  od -An -t "u$3" -j "$2" -N "$3" --endian=little "$1" 2>/dev/null | tr -d ' \n'
}
mz=$(od -An -c -N 2 "$prog" | tr -d ' \n')
[ "$mz" = "MZ" ] || { echo "wine-run: not a Windows program (no MZ header): $prog" >&2; exit 126; }
peoff=$(read_u "$prog" 60 4)
sig=$(od -An -c -j "$peoff" -N 2 "$prog" | tr -d ' \n')
[ "$sig" = "PE" ] || { echo "wine-run: no PE header in $prog" >&2; exit 126; }
machine=$(read_u "$prog" $((peoff + 4)) 2)
case "$machine" in
  332)   loader=(wine) ;;                  # 0x014c IMAGE_FILE_MACHINE_I386
  34404) loader=(/usr/lib/wine/wine64) ;;  # 0x8664 IMAGE_FILE_MACHINE_AMD64
  *) printf 'wine-run: unsupported PE machine type 0x%04x in %s\n' "$machine" "$prog" >&2; exit 126 ;;
esac
command -v "${loader[0]}" >/dev/null || {
  echo "wine-run: ${loader[0]} not found; run scripts/setup-windows.sh first" >&2; exit 127; }

status=0
start=$SECONDS
timeout --kill-after=10 "$limit" "${loader[@]}" "$prog" "$@" || status=$?
# 124: timed out; 137: timed out and still had to be KILLed after 10 more s.
if [ "$status" -eq 124 ] || { [ "$status" -eq 137 ] && [ $((SECONDS - start)) -ge "$limit" ]; }; then
  echo "wine-run: TIMEOUT: $prog did not finish within $limit s and was killed (exit 124)" >&2
  exit 124
fi
exit "$status"
