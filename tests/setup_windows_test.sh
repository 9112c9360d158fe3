#!/usr/bin/env bash
# scripts/setup-windows.sh with stand-ins for apt-get, dpkg and Wine, the
# machine's own Wine hidden behind them in a mount namespace of this test's
# own (nothing outside it is touched):
#   1. an i386 index out of step: the 32-bit install goes with --no-remove,
#      fails, and the 32-bit suite is skipped loudly, the rest set up;
#   2. 32-bit Wine then there: the prefix the setup made without it, where
#      32-bit programs do not run, is made anew and runs them.
# Exits 77 (skipped) where it cannot run: not root, or no mount namespace.
set -u
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null || [ ! -d /usr/lib/wine ]; then
  echo "needs root, unshare and /usr/lib/wine to hide: skipped"
  exit 77
fi
work=$(mktemp -d /tmp/setup-windows-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/wine" "$work/scripts"
cp "$source_dir/scripts/setup-windows.sh" "$work/scripts/"
stub() { cat >"$1"; chmod +x "$1"; }
# apt-get logs its arguments; installing wine32 fails, as the resolver does
# when it would have to remove packages.
stub "$work/bin/apt-get" <<'EOF'
#!/bin/bash
echo "$*" >>"$STUB_LOG"
case "$*" in *wine32*) exit 100 ;; esac
EOF
# dpkg-query: every package installed but those in STUB_MISSING.
stub "$work/bin/dpkg-query" <<'EOF'
#!/bin/bash
case " $STUB_MISSING " in *" ${!#} "*) exit 1 ;; esac
printf 'ii '
EOF
stub "$work/bin/dpkg" <<'EOF'
#!/bin/bash
echo i386
EOF
stub "$work/wine/wine64" <<'EOF'
#!/bin/bash
[ "$1" = --version ] && { echo wine-stub; exit 0; }
mkdir -p "$WINEPREFIX/drive_c" && touch "$WINEPREFIX/system.reg"
# A prefix holds the 32-bit half only when 32-bit Wine was there to make it.
[ -x /usr/lib/wine/wine ] && touch "$WINEPREFIX/with-32-bit"
exit 0
EOF
stub "$work/wine/wineserver" <<'EOF'
#!/bin/bash
exit 0
EOF
cp "$work/wine/wineserver" "$work/wine/wineserver64"
# Runs the setup's check programs: 32-bit ones only in a prefix with its half.
stub "$work/scripts/wine-run.sh" <<'EOF'
#!/bin/bash
case "$2" in *i686*) [ -f "$WINEPREFIX/with-32-bit" ] || exit 1; echo "hello from 32-bit Windows" ;;
  *) echo "hello from 64-bit Windows" ;; esac
exit 42
EOF
export STUB_LOG="$work/apt.log" VESSOR_WINEPREFIX="$work/prefix"
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] && return
  echo "FAILED: $1: expected [$2], got [$3]"
  failures=$((failures + 1))
}
setup() {  # setup OUTPUT: the setup with the machine's Wine hidden
  unshare -m bash -c 'mount --bind "$1/wine" /usr/lib/wine && PATH="$1/bin:$PATH" bash "$1/scripts/setup-windows.sh"' \
    _ "$work" >"$1" 2>&1
}

STUB_MISSING="wine32:i386" setup "$work/out1"
check "no 32-bit Wine: status" 0 $?
check "no 32-bit Wine: the install removes nothing" 1 "$(grep -c -- '--no-remove.*wine32:i386' "$STUB_LOG")"
check "no 32-bit Wine: said loudly" 1 "$(grep -c '32-BIT WINE UNAVAILABLE: apt-get install --no-remove' "$work/out1")"
check "no 32-bit Wine: bitnesses" x86_64 "$(cat "$work/prefix/.vessor-bitnesses")"

stub "$work/wine/wine" <<'EOF'
#!/bin/bash
exit 0
EOF
STUB_MISSING="" setup "$work/out2"
check "32-bit Wine came: status" 0 $?
check "32-bit Wine came: the prefix made anew" 1 "$(grep -c 'making it anew' "$work/out2")"
check "32-bit Wine came: bitnesses" "i686 x86_64" "$(cat "$work/prefix/.vessor-bitnesses")"
[ "$failures" = 0 ] || { cat "$work/out1" "$work/out2"; exit 1; }
echo "setup-windows: all checks passed"
