#!/usr/bin/env bash
# The main job on the bundled sample folder: build the plug-in and vfolder,
# write the sample folder, list it and copy every message out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target vessor vfolder mkfolder
sample=build/sample
rm -rf "$sample" && mkdir -p "$sample/exported"
build/linux/mkfolder samples/inbox.txt "$sample/INBOX.IDX"
echo
echo "\$ vfolder list $sample/INBOX.IDX"
build/linux/vfolder list "$sample/INBOX.IDX"
echo
echo "\$ vfolder copy $sample/INBOX.IDX $sample/exported"
build/linux/vfolder copy "$sample/INBOX.IDX" "$sample/exported"
ls -l "$sample/exported"
