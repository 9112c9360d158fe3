#!/usr/bin/env bash
# Installs what the Linux build and its tests need, skipping what is there.
# far2l comes from bookworm-backports (2.6.5, the version the plug-in is built
# for); where it cannot be had the far2l suite says so and is skipped.
set -euo pipefail
missing=()
# dovecot-core: doveadm reads vfolder's mail outputs back in the tests.
# ripmime: the benchmark takes attachments out of .eml files with it too.
# libgnutls28-dev, pkg-config: vfolder imap (its TLS); dovecot-imapd, openssl: its tests;
# isync: mbsync, which the benchmark sets beside it. tmux: the real far2l is
# driven in it. time: /usr/bin/time tells the tests vfolder's peak memory.
# cyrus-common: Cyrus IMAP's master for the imap tests (its imapd below).
# dpkg-dev, lintian, man-db: the Debian package (scripts/package-deb.sh), its
# check, and the man page's.
for package in cmake ninja-build g++ googletest python3 hyperfine dovecot-core ripmime \
    libgnutls28-dev pkg-config dovecot-imapd openssl isync tmux time cyrus-common \
    dpkg-dev lintian man-db; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
updated=
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update
  updated=1
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Cyrus's imapd is in cyrus-imapd, which Debian will not install beside
# dovecot-imapd (both are the imap-server): it is unpacked, not installed,
# into /opt/cyrus-imapd, where tests/imap_test.py finds it.
if [ ! -x /opt/cyrus-imapd/usr/lib/cyrus/bin/imapd ] && [ ! -x /usr/lib/cyrus/bin/imapd ]; then
  echo "setup: unpacking cyrus-imapd into /opt/cyrus-imapd"
  cyrus_download=$(mktemp -d)
  chmod 755 "$cyrus_download"
  if (cd "$cyrus_download" && apt-get download cyrus-imapd) &&
    dpkg -x "$cyrus_download"/cyrus-imapd_*.deb /opt/cyrus-imapd; then
    echo "setup: cyrus-imapd unpacked"
  else
    echo "setup: !!! cyrus-imapd could not be had: the Cyrus imap checks will be SKIPPED"
  fi
  rm -rf "$cyrus_download"
fi

# The backports suite beside the main ones, in the form the machine's sources
# use: a deb822 file's stanza for the main archive, or a .list line.
add_backports() {
  local sources=/etc/apt/sources.list.d/debian.sources
  if grep -rqsE '(^|[[:space:]])bookworm-backports([[:space:]]|$)' /etc/apt/sources.list \
    /etc/apt/sources.list.d/; then
    return 1
  fi
  if [ -f "$sources" ]; then
    local uri
    uri=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' "$sources")
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
      "${uri:-http://deb.debian.org/debian}" /usr/share/keyrings/debian-archive-keyring.gpg \
      >/etc/apt/sources.list.d/bookworm-backports.sources
  else
    echo 'deb http://deb.debian.org/debian bookworm-backports main' \
      >/etc/apt/sources.list.d/bookworm-backports.list
  fi
  echo "setup: added bookworm-backports to apt's sources"
}

if ! dpkg -s far2l >/dev/null 2>&1; then
  echo "setup: installing far2l from bookworm-backports"
  add_backports && updated=
  if { [ -n "$updated" ] || apt-get update; } &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      -t bookworm-backports far2l; then
    echo "setup: far2l $(dpkg-query -W -f '${Version}' far2l) installed"
  else
    echo "setup: !!! far2l could not be installed: the far2l suite will be SKIPPED"
  fi
fi
