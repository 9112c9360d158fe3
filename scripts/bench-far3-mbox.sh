#!/usr/bin/env bash
# F5 "One mbox file" in the real file manager (version 3.0.6106 x64 under
# Wine, in tmux) against vfolder.exe mbox of the same folder under the same
# Wine, side by side in one run: each round times both, and the medians and
# their ratio are printed.
#   scripts/bench-far3-mbox.sh [MESSAGES] [ROUNDS]     (3000 and 5)
# Needs build/windows-x86_64 (vessor3.dll, vfolder.exe) and build/linux's
# mkfolder. The host's time runs from the Enter that closes the dialog until
# the mbox file has all its bytes; vfolder.exe's from its start, with the
# host's Wine server already running, to its end.
set -uo pipefail
cd "$(dirname "$0")/.."
messages=${1:-3000}
rounds=${2:-5}
build=build/windows-x86_64
realhost=../shared/realhost
S=vessor-far3-bench
export WINEPREFIX=${REALHOST_WINEPREFIX:-/tmp/realhost-vessor-test/prefix}
work=$(mktemp -d /dev/shm/far3-bench.XXXXXX)
trap 'bash "$realhost/run.sh" --stop "$S" >/dev/null 2>&1; rm -rf "$work"' EXIT
mkdir -p "$work/mail" "$work/out" "$work/cli"
python3 tests/make_mail_folder.py "$messages" "$work/mail.txt"
build/linux/mkfolder "$work/mail.txt" "$work/mail/INBOX.IDX" >/dev/null
bash "$realhost/run.sh" far3-x64 "$build/vessor3.dll" "$S" -- "$work/mail" "$work/out" >/dev/null
cp "$build"/VessorFolder{Eng,Rus}.{lng,hlf} "/tmp/realhost/$S/host/Plugins/Plugin/"
# shellcheck source=/dev/null
source "$realhost/keys.sh"
wait_for 'INBOX\.IDX' 60 >/dev/null && end_ && key Enter
wait_for 'Vessor folder' 120 >/dev/null || { echo "bench: the folder did not open" >&2; exit 1; }
now() { date +%s.%N; }
host_times=() cli_times=() appeared=()
for round in $(seq 1 "$rounds"); do
  cli_start=$(now)
  WINEDEBUG=-all /usr/lib/wine/wine64 "$build/vfolder.exe" mbox "Z:${work//\//\\}\\mail\\INBOX.IDX" \
    "Z:${work//\//\\}\\cli\\$round.mbox" >/dev/null 2>&1
  cli_times+=("$(echo "$(now) - $cli_start" | bc)")
  size=$(stat -c %s "$work/cli/$round.mbox") || { echo "bench: vfolder.exe wrote nothing" >&2; exit 1; }
  target=$work/out/INBOX.mbox
  [ "$round" -gt 1 ] && target="$work/out/INBOX_($round).mbox"
  home
  select_to_end
  key F5
  wait_for 'Save as:' 60 >/dev/null || { echo "bench: no dialog" >&2; exit 1; }
  key M-m
  sleep 0.3
  # Enter, then the file watched from one process that forks nothing, so
  # that watching takes no time from the host's.
  read -r appeared_at took < <(python3 - "$S" "$target" "$size" <<'PY'
import os, subprocess, sys, time
session, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
start = time.monotonic()
subprocess.run(["tmux", "send-keys", "-t", session, "Enter"], check=True)
appeared = None
while time.monotonic() - start < 120:
    try:
        got = os.stat(target).st_size
        appeared = appeared or time.monotonic() - start
        if got == size:
            break
    except FileNotFoundError:
        pass
    time.sleep(0.002)
print("%.3f %.3f" % (appeared or -1, time.monotonic() - start))
PY
  )
  appeared+=("$appeared_at")
  host_times+=("$took")
  wait_for "files: $round, folders: 0" 60 >/dev/null
  cmp -s "$target" "$work/cli/$round.mbox" || echo "bench: round $round: the mboxes differ" >&2
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
host=$(median "${host_times[@]}")
cli=$(median "${cli_times[@]}")
echo "F5 as one mbox, $messages messages, $rounds rounds: host ${host_times[*]} s"
echo "of which until the mbox file was there:           ${appeared[*]} s"
echo "vfolder.exe mbox under the same Wine:              ${cli_times[*]} s"
printf 'medians: host %.3f s, vfolder.exe %.3f s, ratio %.2f (target 1.3 or less)\n' \
  "$host" "$cli" "$(echo "$host / $cli" | bc -l)"
