#!/usr/bin/env bash
# far2l loads the plug-in as the Debian package installs it: the package is
# built and unpacked, and its far2l files are laid over far2l's own plug-in
# directories (/usr/lib/far2l/Plugins, /usr/share/far2l/Plugins) in a mount
# namespace of this run's only, so nothing on the machine changes. far2l, in
# tmux session package-far2l with a profile that names no personal plug-in
# directory, opens a folder with Ctrl+PgDn and shows the plug-in's help (F1),
# in English and in Russian. The screens go to build/linux/package-far2l-screen.txt.
#   scripts/package-far2l-screen.sh      (as root: the mount namespace needs it)
# Exits 1 when far2l did not open the folder or show the help.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --inside ]; then
  command -v far2l >/dev/null && command -v tmux >/dev/null ||
    { echo "package-far2l-screen: !!! no far2l or tmux: SKIPPED"; exit 77; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  deb=$(bash scripts/package-deb.sh build/linux "$work/pkg") || exit 1
  dpkg -x "$deb" "$work/root" || exit 1
  cmake --build build/linux --target mkfolder >/dev/null || exit 1
  exec unshare --mount --propagation private bash "$0" --inside "$work"
fi

work=$2
T=(tmux -L package-far2l)
S=package-far2l
out=build/linux/package-far2l-screen.txt
# far2l's own plug-ins and the package's, where far2l finds them.
for part in lib share; do
  mkdir -p "$work/over-$part"
  cp -a "/usr/$part/far2l/Plugins/." "$work/root/usr/$part/far2l/Plugins/." "$work/over-$part/"
  mount --bind "$work/over-$part" "/usr/$part/far2l/Plugins" || exit 1
done
mkdir -p "$work"/{home,tmp,mail,out,profile/.config/settings}
: >"$work/profile/.config/settings/config.ini"
build/linux/mkfolder samples/inbox.txt "$work/mail/INBOX.IDX" >/dev/null || exit 1

screen() { "${T[@]}" capture-pane -p -t "$S"; }
wait_for() {
  local t0=$SECONDS
  until screen | grep -qE -- "$1"; do
    [ $((SECONDS - t0)) -ge 20 ] && return 1
    sleep 0.2
  done
}
: >"$out"
status=0
for language in English Russian; do
  "${T[@]}" new-session -d -s "$S" -x 120 -y 30 \
    "env HOME=$work/home TMPDIR=$work/tmp FAR2L_STDERR=$work/far2l.err far2l --tty --nodetect \
     --mortal -u $work/profile -set:Confirmations.Exit=0 -set:Confirmations.ExitOrBknd=0 \
     -set:Language.Main=$language -set:Language.Help=$language \
     -cd $work/mail/INBOX.IDX -cd $work/out"
  wait_for "10(Quit|Выход)" || { echo "FAILED: $language: far2l did not start"; status=1; }
  "${T[@]}" send-keys -t "$S" C-PageDown
  sleep 1
  { echo "== $language: Ctrl+PgDn on INBOX.IDX"; screen; } >>"$out"
  grep -q "Vessor" <(screen | head -n 1) || { echo "FAILED: $language: the panel is not the folder's"; status=1; }
  "${T[@]}" send-keys -t "$S" F1
  sleep 1
  { echo "== $language: F1 in the folder's panel"; screen; } >>"$out"
  grep -q "INBOX.IDM" <(screen) || { echo "FAILED: $language: F1 shows no help of the plug-in"; status=1; }
  "${T[@]}" send-keys -t "$S" Escape
  sleep 0.4
  "${T[@]}" send-keys -t "$S" F10
  sleep 1
  "${T[@]}" kill-session -t "$S" 2>/dev/null
done
# Where far2l took the module from.
loaded=$(grep -h "LoadPlugin: .*vessor" "$work/far2l.err" | head -n 1)
echo "== far2l's log: $loaded" >>"$out"
grep -q "'/usr/lib/far2l/Plugins/vessor/plug/vessor.far-plug-wide'" <<<"$loaded" ||
  { echo "FAILED: far2l did not load the module from its system plug-in directory"; status=1; }
echo "$out"
exit $status
