#!/usr/bin/env bash
# Installs what the Linux build and its tests need, skipping what is there.
set -euo pipefail
missing=()
# dovecot-core: doveadm reads vfolder's mail outputs back in the tests.
# ripmime: the benchmark takes attachments out of .eml files with it too.
# libetpan-dev, pkg-config: vfolder imap; dovecot-imapd, openssl: its tests;
# isync: mbsync, which the benchmark sets beside it.
for package in cmake ninja-build g++ googletest python3 hyperfine dovecot-core ripmime \
    libetpan-dev pkg-config dovecot-imapd openssl isync; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
