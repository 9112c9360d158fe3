#!/usr/bin/env bash
# Installs the far2l plug-in (vessor.far-plug-wide with its language and help
# files) into DIR/vessor/, building it first where needed.
#   scripts/install-far2l-plugin.sh [DIR]
# Without DIR: into the personal plug-in directory far2l is set to
# (System.PersonalPluginsPath in <config>/settings/config.ini), and where none
# is set, into ~/.local/share/far2l/plugins, saying how to tell far2l.
# Never into far2l's own directories. Prints what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/linux
fallback=$HOME/.local/share/far2l/plugins

# <config> as far2l finds it: an absolute FARSETTINGS (what -u sets) holds
# .config; otherwise XDG_CONFIG_HOME/far2l or the passwd home's .config/far2l,
# under custom/NAME for a FARSETTINGS that is a bare name.
config_dir() {
  local home
  if [[ ${FARSETTINGS:-} == /* ]]; then
    echo "$FARSETTINGS/.config"
    return
  fi
  if [[ ${XDG_CONFIG_HOME:-} == /* ]]; then
    home=$XDG_CONFIG_HOME/far2l
  else
    home=$(getent passwd "$(id -u)" | cut -d: -f6)
    home=${home:-$HOME}/.config/far2l
  fi
  if [ -n "${FARSETTINGS:-}" ]; then
    echo "$home/custom/$FARSETTINGS"
  else
    echo "$home"
  fi
}

# The [System] PersonalPluginsPath of config.ini, environment variables
# expanded as far2l expands them; nothing when it is unset or empty.
personal_path() {
  [ -f "$1" ] || return 0
  python3 - "$1" <<'PY'
import os, sys
section = None
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    line = line.strip()
    if line.startswith("[") and line.endswith("]"):
        section = line[1:-1].strip()
    elif section == "System" and "=" in line:
        key, value = line.split("=", 1)
        if key.strip() == "PersonalPluginsPath" and value.strip():
            print(os.path.expanduser(os.path.expandvars(value.strip())))
            break
PY
}

# The build's module, built where needed with whatever ninja makes beside it,
# and the language and help files in its directory.
cmake --preset linux >/dev/null
targets=$(ninja -C "$build" -t targets all)
module=$(sed -nE 's/^(.*\/)?(vessor\.far-plug-wide): .*/\1\2/p' <<<"$targets" | head -n 1)
if [ -z "$module" ]; then
  echo "install-far2l-plugin: this build makes no vessor.far-plug-wide" >&2
  exit 1
fi
module_dir=$(dirname "$module")
prefix=
[ "$module_dir" = . ] || prefix="${module_dir//./\\.}/"
mapfile -t outputs < <(cut -d: -f1 <<<"$targets" |
  grep -E "^$prefix[^/]+\.(lng|hlf)$")
cmake --build --preset linux -j2 --target "$module" "${outputs[@]}" >/dev/null
files=("$build/$module")
for file in "$build/$module_dir"/*.lng "$build/$module_dir"/*.hlf; do
  [ -f "$file" ] && files+=("$file")
done
if [ ${#files[@]} -lt 3 ]; then
  echo "install-far2l-plugin: no language or help files beside $build/$module" >&2
  exit 1
fi

config=$(config_dir)
told=
if [ $# -ge 1 ]; then
  base=$1
elif base=$(personal_path "$config/settings/config.ini") && [ -n "$base" ]; then
  told=1
else
  base=$fallback
fi
# Checked before anything is made: the path as it resolves, links followed.
base=$(realpath -m "$base")
case "$base/" in
  /usr/lib/far2l/* | /usr/share/far2l/*)
    echo "install-far2l-plugin: $base is far2l's own directory; name a directory of yours" >&2
    exit 1
    ;;
esac
target=$base/vessor
mkdir -p "$target"
for file in "${files[@]}"; do
  install -m "$([[ $file == *.far-plug-wide ]] && echo 755 || echo 644)" "$file" "$target/"
  echo "installed $target/$(basename "$file")"
done

if [ -n "$told" ]; then
  echo "far2l finds it at its next start: $base is its personal plug-in directory"
  echo "(System.PersonalPluginsPath in $config/settings/config.ini)."
else
  cat <<MSG
To tell far2l where it is (it looks there from its next start on), either
  - in far2l: F9, Options, Plugins manager settings, "Path for personal plugins": $base
    (then Shift+F9 saves the setup), or
  - in $config/settings/config.ini, section [System]:
      PersonalPluginsPath=$base
    (with far2l closed, or it writes its own setup back at exit), or
  - for one run: far2l -set:System.PersonalPluginsPath=$base
MSG
fi
