# What the real-host scripts (realhost_far2l_test.sh, realhost_far3_test.sh)
# share: the counts and the summary line, the lines that say ok, FAILED and
# SKIPPED, the checks of the screen, a wait for a file to stand still, and
# the host's end when the script ends. A script sets, before sourcing it:
#   suite    the summary line's first word ("far2l: P passed, ...")
#   title    what the SKIPPED banner calls the suite
#   untried  the banner's line of what goes untried
#   logs     (may be empty) where show keeps each screen as NN-TITLE.txt
# and defines screen, screen_colours (the screen with capture-pane -e's
# colours), key, wait_for REGEX [SECONDS] (its own default wait) and
# quit_host, which ends the host and its session at once.
passed=0 failed=0 skipped=0 shots=0
work=$(mktemp -d)
started=$SECONDS

summary() { echo "$suite: $passed passed, $failed failed, $skipped skipped"; }
finish() {
  quit_host >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT

# skip WHY: the whole suite counted as skipped, loudly, and the script ends.
skip() {
  cat <<MSG
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
!!! The $title was SKIPPED: $1
!!! $untried
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
MSG
  skipped=$((skipped + 1))
  summary
  exit 0
}
# skip_check WHAT: one check that could not be made, counted as skipped.
skip_check() {
  echo "!!! SKIPPED: $1"
  skipped=$((skipped + 1))
}

ok() {
  echo "ok: $1"
  passed=$((passed + 1))
}
bad() {
  echo "FAILED: $1"
  failed=$((failed + 1))
}
# screen_has REGEX...: every one matches a line of the screen.
screen_has() {
  local shown re
  shown=$(screen)
  for re in "$@"; do grep -qE -- "$re" <<<"$shown" || return 1; done
}
# expect WHAT REGEX [SECONDS]: the screen comes to match REGEX, within
# wait_for's own wait unless SECONDS are given.
expect() {
  if wait_for "$2" ${3:+"$3"}; then ok "$1"; else bad "$1"; fi
}
# show TITLE [SED_LINES]: the lines of the screen that a check read (all of
# them without SED_LINES or after a failure), indented, for the log; with
# `logs`, the whole screen is kept there too.
show() {
  local lines=${2:-p} file
  [ "$failed" -gt 0 ] && lines=p
  if [ -z "${logs:-}" ]; then
    echo "-- screen: $1"
    screen | sed -n "$lines" | sed 's/^/   |/'
    return
  fi
  shots=$((shots + 1))
  file=$logs/$(printf '%02d' "$shots")-$(tr -c 'A-Za-z0-9.\n-' _ <<<"$1" | head -c 60).txt
  screen >"$file"
  echo "-- screen: $1 ($file)"
  sed -n "$lines" "$file" | sed 's/^/   |/'
}
# box_colours: the first check box's line with its colours, for the log.
box_colours() { screen_colours | cat -v | grep -o '.\{0,40\}\[.\] .\{0,90\}' | head -n 1; }
# mark_follows_format WHAT LABEL BOX_KEY: in the save dialog on the screen,
# LABEL ("Mark as read") is greyed once .eml files are chosen (Alt+E): drawn
# without its hot key lit, and BOX_KEY (its hot key: the focus and Space)
# leaves its mark as it was; once one mbox is chosen (Alt+M) its hot key is
# lit again and BOX_KEY turns its mark. The dialog stays open.
mark_follows_format() {
  local what=$1 label=$2 box=$3 before
  key M-e && sleep 0.6
  before=$(screen | grep -oE -- "\[.\] $label")
  key "$box" && sleep 0.6
  # A greyed label is one run of one colour; a lit hot key splits it.
  if [ -n "$before" ] && [ "$(screen | grep -oE -- "\[.\] $label")" = "$before" ] &&
    screen_colours | grep -qF -- "] $label"; then
    ok "$what: with .eml chosen \"$label\" is greyed, and its hot key leaves it as it was"
  else
    bad "$what: with .eml chosen \"$label\" is greyed, and its hot key leaves it as it was"
  fi
  echo "-- its colours, .eml chosen: $(box_colours)"
  show "$what: .eml chosen"
  key M-m && sleep 0.6
  before=$(screen | grep -oE -- "\[.\] $label")
  key "$box" && sleep 0.6
  if [ -n "$before" ] && [ "$(screen | grep -oE -- "\[.\] $label")" != "$before" ] &&
    ! screen_colours | grep -qF -- "] $label"; then
    ok "$what: with mbox chosen \"$label\" is lit again, and its hot key turns its mark"
  else
    bad "$what: with mbox chosen \"$label\" is lit again, and its hot key turns its mark"
  fi
  echo "-- its colours, mbox chosen: $(box_colours)"
  show "$what: mbox chosen"
}

# stop: the host ended, its session gone.
stop() { quit_host >/dev/null 2>&1; }

# start_account_server: a throwaway Dovecot on 127.0.0.1 (tests/imap_test.py
# serve) under $work/imap; sets account_url (imaps://USER@127.0.0.1:PORT),
# account_user, account_server (the URL without the user), account_password,
# account_ca (its authority's file) and account_mail (the user's Maildir).
# False where no Dovecot's IMAP server or openssl is.
start_account_server() {
  [ -x /usr/lib/dovecot/imap ] && command -v dovecot >/dev/null && command -v openssl >/dev/null ||
    return 1
  # Dovecot's login and auth processes, another user's, read the user's file
  # below it.
  chmod 755 "$work"
  python3 tests/imap_test.py serve "$work/imap" >"$work/imap.out" 2>&1 &
  imap_server=$!
  for _ in $(seq 1 100); do
    grep -q '^imaps://' "$work/imap.out" 2>/dev/null && break
    sleep 0.2
  done
  # "imaps://USER@127.0.0.1:PORT  imap://...:PORT  password PASSWORD  --ca FILE"
  read -r account_url _ _ account_password _ account_ca < <(head -n 1 "$work/imap.out")
  account_user=${account_url#imaps://} account_user=${account_user%%@*}
  account_server=imaps://${account_url#*@}
  account_mail=$work/imap/dovecot/mail/$account_user/Maildir
}

# stop_account_server: the server's master first, in a session of its own.
stop_account_server() {
  kill "$(cat "$work/imap/dovecot/run/master.pid" 2>/dev/null)" "$imap_server" 2>/dev/null
  wait "$imap_server" 2>/dev/null
}

# wait_still FILE: until FILE has bytes, held as many 0.3 s before, and no
# progress box shows; 30 s at most.
wait_still() {
  local last=-1 size
  for _ in $(seq 1 100); do
    size=$(stat -c %s "$1" 2>/dev/null || echo -1)
    [ "$size" -gt 0 ] && [ "$size" = "$last" ] && ! screen_has 'Saving' && break
    last=$size
    sleep 0.3
  done
}

# A folder of two messages at INDEX whose names are in windows-1252, as
# their messages declare (one as ISO-8859-1, which reads as 1252).
make_western_folder() {
  cat >"$work/western.txt" <<'EOF'
message
name J\xFCrgen M\xFCller
description Gr\xFC\xDFe
date 12 Mar 00 14:35
body From: j@example.org\r\nContent-Type: text/plain; charset=windows-1252\r\n\r\nHallo\r\n
message
name Bericht
date 13 Mar 00 09:10
body From: k@example.org\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n\r\nHallo\r\n
EOF
  build/linux/mkfolder "$work/western.txt" "$1" >/dev/null
}
