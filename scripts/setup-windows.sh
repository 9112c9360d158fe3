#!/usr/bin/env bash
# Prepare this Debian 12 machine (as root) for the Windows cross-build and the
# Wine test runs. Idempotent: a second run only checks and takes a second or two.
#
#   scripts/setup-windows.sh
#
# 1. Installs, only when missing: the MinGW-w64 cross compilers (i686 and
#    x86_64; the -posix variants come with them), wine + wine32:i386 + wine64,
#    qemu-user, googletest (sources in /usr/src/googletest) and cmake.
#    i386 is added as a dpkg architecture and apt-get update is run only when
#    something has to be installed.
# 2. Makes 32-bit Linux programs (the 32-bit Wine loader) run: natively where
#    the kernel has IA32 emulation, otherwise through qemu-i386 registered in
#    binfmt_misc (mounted if needed).
# 3. Creates the private Wine prefix ${VESSOR_WINEPREFIX:-/root/.cache/vessor-wine}
#    (once), and checks that a 32-bit and a 64-bit Windows program built with
#    the cross compilers run in it through scripts/wine-run.sh.
#
# Exits non-zero with "WINE UNAVAILABLE: ..." when Wine cannot be made to work.
# When only the 32-bit part cannot be installed or run (a mirror serving a
# broken i386 index, say), it says so loudly and goes on with 64-bit Windows
# alone. The 32-bit install never removes a package (apt-get --no-remove: an
# i386 index out of step with the amd64 one would otherwise take wine64 and
# libwine:amd64 away); when it cannot be done without, nothing is changed.
# Either way it writes the bitnesses that run (i686, x86_64) into
# $WINEPREFIX/.vessor-bitnesses, one line. A prefix of its own that it made
# while 32-bit Wine was not there, and in which 32-bit programs do not run,
# it makes anew once 32-bit Wine is there.
# VESSOR_WINE_RECHECK=1 forces the run checks even when the prefix is ready.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX="${VESSOR_WINEPREFIX:-/root/.cache/vessor-wine}"
export VESSOR_WINEPREFIX="$WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH WINELOADER 2>/dev/null || true
marker="$WINEPREFIX/.vessor-wine-ready"

log() { echo "[setup-windows] $*"; }
wine_unavailable() {
  echo >&2
  echo "########################################################################" >&2
  echo "WINE UNAVAILABLE: $*" >&2
  echo "########################################################################" >&2
  exit 1
}
toolchain_unavailable() {
  echo >&2
  echo "########################################################################" >&2
  echo "WINDOWS TOOLCHAIN UNAVAILABLE: $*" >&2
  echo "########################################################################" >&2
  exit 1
}

# ---------------------------------------------------------------- 1. packages
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 qemu-user googletest cmake)
packages32=(wine wine32:i386)
is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}
missing=() missing32=() install32_failed=
for p in "${packages[@]}"; do is_installed "$p" || missing+=("$p"); done
for p in "${packages32[@]}"; do is_installed "$p" || missing32+=("$p"); done
export DEBIAN_FRONTEND=noninteractive
apt_opts=(-o DPkg::Lock::Timeout=300 -o Dpkg::Use-Pty=0)
install() {  # install LOG [APT-OPTION...] PACKAGE...
  local log=$1 t0=$SECONDS
  shift
  log "apt-get install $* (about 70 s)"
  apt-get "${apt_opts[@]}" install -y -qq "$@" >"$log" 2>&1 || { tail -30 "$log" >&2; return 1; }
  log "installed in $((SECONDS - t0)) s"
}
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
  log "packages: all present (${packages[*]} ${packages32[*]})"
else
  log "packages: missing: ${missing[*]} ${missing32[*]}"
  [ "$(id -u)" -eq 0 ] || wine_unavailable "packages missing (${missing[*]} ${missing32[*]}) and not root, cannot apt-get install"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "dpkg --add-architecture i386"
    dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync fails an index now and then: try again,
  # then go on with what came, and let the installs tell.
  for attempt in 1 2 3; do
    log "apt-get update"
    if apt-get "${apt_opts[@]}" update -qq >/tmp/setup-windows-update.log 2>&1 &&
      ! grep -q '^E:' /tmp/setup-windows-update.log; then
      break
    fi
    grep '^E:' /tmp/setup-windows-update.log | head -3 >&2
    [ "$attempt" -lt 3 ] && sleep 20
  done
  if [ ${#missing[@]} -gt 0 ]; then
    install /tmp/setup-windows-apt.log "${missing[@]}" ||
      wine_unavailable "apt-get install ${missing[*]} failed (log: /tmp/setup-windows-apt.log)"
  fi
  if [ ${#missing32[@]} -gt 0 ] &&
    ! install /tmp/setup-windows-apt32.log --no-remove "${missing32[@]}"; then
    install32_failed="apt-get install --no-remove ${missing32[*]} failed (it would remove packages, or see /tmp/setup-windows-apt32.log); nothing was changed"
  fi
fi
for c in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  command -v "$c" >/dev/null || toolchain_unavailable "$c not found after install"
done
[ -f /usr/src/googletest/CMakeLists.txt ] || toolchain_unavailable "/usr/src/googletest missing (package googletest)"
for f in /usr/lib/wine/wine64 /usr/lib/wine/wineserver64; do
  [ -x "$f" ] || wine_unavailable "$f missing (package wine64)"
done
bitnesses="i686 x86_64"
without_32bit() {
  echo >&2
  echo "########################################################################" >&2
  echo "32-BIT WINE UNAVAILABLE: $*" >&2
  echo "Only the 64-bit Windows programs will be run." >&2
  echo "########################################################################" >&2
  bitnesses=x86_64
}
if [ -n "$install32_failed" ]; then
  without_32bit "$install32_failed"
elif [ ! -x /usr/lib/wine/wine ]; then
  without_32bit "/usr/lib/wine/wine missing (package wine32:i386)"
fi

# ------------------------------------------------- 2. 32-bit Linux programs
# The 32-bit Wine loader is an i386 ELF. The 64-bit wineserver (from wine64)
# is used by both loaders, so it always runs natively.
runs_i386() { timeout 60 /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
if [ "$bitnesses" = x86_64 ]; then
  :
elif runs_i386; then
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    log "32-bit ELF: runs (through qemu-i386 binfmt_misc)"
  else
    log "32-bit ELF: runs (natively)"
  fi
else
  log "32-bit ELF: does not run natively; setting up qemu-i386 through binfmt_misc"
  [ -x /usr/bin/qemu-i386 ] || wine_unavailable "/usr/bin/qemu-i386 missing (package qemu-user)"
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    log "mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc"
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc \
      || without_32bit "cannot mount binfmt_misc (needed to run 32-bit Wine through qemu-i386)"
  fi
  if [ "$bitnesses" = x86_64 ]; then
    :
  elif [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    log "qemu-i386 already registered; enabling it"
    echo 1 >/proc/sys/fs/binfmt_misc/qemu-i386 || true
  else
    log "registering qemu-i386 (flag F) in /proc/sys/fs/binfmt_misc/register"
    # Magic/mask of qemu's qemu-binfmt-conf.sh for i386: ELF32, little-endian,
    # ET_EXEC or ET_DYN, EM_386. The kernel decodes the \x escapes itself.
    i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    err=$( { printf '%s' ":qemu-i386:M::${i386_magic}:${i386_mask}:/usr/bin/qemu-i386:F" \
               >/proc/sys/fs/binfmt_misc/register; } 2>&1 ) || {
      case "$err" in
        *"File exists"*) log "qemu-i386 was registered meanwhile (File exists): fine" ;;
        *) without_32bit "binfmt_misc registration of qemu-i386 failed: $err" ;;
      esac
    }
  fi
  if [ "$bitnesses" != x86_64 ]; then
    if runs_i386; then
      log "32-bit ELF: runs (through qemu-i386)"
    else
      without_32bit "32-bit ELF programs still do not run (/lib/ld-linux.so.2 --version fails) after registering qemu-i386"
    fi
  fi
fi
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
  # Without it, 32-bit Wine under qemu-i386 fails with "failed to map the shared
  # user data: c0000018" (wine-run.sh sets it the same way).
  export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xffff0000}"
  log "32-bit Wine will run under qemu-i386 (QEMU_RESERVED_VA=$QEMU_RESERVED_VA): ~40 s per 32-bit start"
fi

# -------------------------------------------------------------- 3. Wine prefix
wine_version=$(/usr/lib/wine/wine64 --version 2>/dev/null || true)
ready_as="$wine_version: $bitnesses"
if [ -f "$marker" ] && [ "$(cat "$marker")" = "$ready_as" ] && [ "${VESSOR_WINE_RECHECK:-0}" != 1 ]; then
  echo "$bitnesses" >"$WINEPREFIX/.vessor-bitnesses"
  log "Wine prefix $WINEPREFIX: ready ($ready_as; checked when created; VESSOR_WINE_RECHECK=1 re-checks)"
  log "OK"
  exit 0
fi

create_prefix() {
  log "creating Wine prefix $WINEPREFIX: wine64 wineboot -i (about 10 s with native 32-bit, ~2 min under qemu)"
  mkdir -p "$(dirname "$WINEPREFIX")"
  local t0=$SECONDS st=0
  timeout --kill-after=10 900 /usr/lib/wine/wine64 wineboot -i >/tmp/setup-windows-wineboot.log 2>&1 || st=$?
  if [ "$st" -ne 0 ]; then
    tail -20 /tmp/setup-windows-wineboot.log >&2
    [ "$st" -eq 124 ] && wine_unavailable "wineboot -i timed out after 900 s"
    wine_unavailable "wineboot -i failed (exit $st, log /tmp/setup-windows-wineboot.log)"
  fi
  timeout 120 /usr/lib/wine/wineserver -w || true   # let it write the registry
  [ -f "$WINEPREFIX/system.reg" ] || wine_unavailable "wineboot did not create $WINEPREFIX/system.reg"
  log "prefix created in $((SECONDS - t0)) s"
}

# Build two trivial programs with the cross compilers and run them in the prefix.
check_programs() {
  local dir st out
  i686_failed=0
  dir=$(mktemp -d /tmp/setup-windows-check.XXXXXX)
  cat >"$dir/hello.c" <<'EOF'
#include <stdio.h>
int main(void) { printf("hello from %d-bit Windows\n", (int)(8 * sizeof(void *))); return 42; }
EOF
  for arch in i686 x86_64; do
    "$arch-w64-mingw32-gcc-posix" -O1 -static -o "$dir/hello-$arch.exe" "$dir/hello.c" \
      || toolchain_unavailable "$arch-w64-mingw32-gcc-posix cannot build a trivial program"
  done
  for arch in $bitnesses; do
    local t0=$SECONDS
    log "running a trivial $arch program under Wine (limit 300 s)"
    st=0
    out=$("$here/wine-run.sh" 300 "$dir/hello-$arch.exe" 2>&1) || st=$?
    local want="hello from $([ "$arch" = i686 ] && echo 32 || echo 64)-bit Windows"
    if [ "$st" -ne 42 ] || [[ "$out" != *"$want"* ]]; then
      echo "$out" | tail -20 >&2
      log "  $arch: FAILED (exit $st); trying once more with WINEDEBUG=err+all"
      st=0
      out=$(VESSOR_WINEDEBUG=err+all "$here/wine-run.sh" 300 "$dir/hello-$arch.exe" 2>&1) || st=$?
      if [ "$st" -ne 42 ] || [[ "$out" != *"$want"* ]]; then
        echo "$out" | tail -20 >&2
        if [ "$arch" = i686 ]; then
          i686_failed=1
          continue
        fi
        rm -rf "$dir"
        return 1
      fi
      log "  $arch: ok on the second try (flaky?)"
      continue
    fi
    log "  $arch: ok ($((SECONDS - t0)) s)"
  done
  rm -rf "$dir"
}

created_now=0 i686_failed=0
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  if [ -d "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX")" ]; then
    wine_unavailable "$WINEPREFIX exists, is not empty and is not a Wine prefix; remove it or set VESSOR_WINEPREFIX"
  fi
  create_prefix
  created_now=1
fi
if ! check_programs; then
  if [ "$created_now" = 1 ] || [ -f "$marker" ] || [ ! -d "$WINEPREFIX/drive_c" ]; then
    wine_unavailable "Windows programs do not run under Wine in $WINEPREFIX (see output above)"
  fi
  # A half-created prefix (interrupted earlier): make it anew once.
  log "programs do not run in $WINEPREFIX; recreating the prefix once"
  timeout 30 /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  create_prefix
  check_programs || wine_unavailable "Windows programs do not run under Wine in a fresh prefix $WINEPREFIX (see output above)"
  created_now=1
fi
# A prefix that this setup made while 32-bit Wine was not there lacks its
# 32-bit half: make it anew, once, now that 32-bit Wine is here.
if [ "$i686_failed" = 1 ] && [ "$created_now" = 0 ] &&
  [ "$(cat "$WINEPREFIX/.vessor-bitnesses" 2>/dev/null)" = x86_64 ]; then
  log "$WINEPREFIX was made without 32-bit Wine; making it anew"
  timeout 30 /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  create_prefix
  check_programs || wine_unavailable "Windows programs do not run under Wine in a fresh prefix $WINEPREFIX (see output above)"
fi
[ "$i686_failed" = 1 ] && without_32bit "a 32-bit program does not run in $WINEPREFIX"
ready_as="$wine_version: $bitnesses"   # 32-bit may have dropped out
echo "$ready_as" >"$marker"
echo "$bitnesses" >"$WINEPREFIX/.vessor-bitnesses"
log "Wine prefix $WINEPREFIX: ready ($ready_as)"
log "OK"
