#!/usr/bin/env bash
# Installs the npm packages a folder of ours pins (its package.json, with
# every package's hash in package-lock.json) into DEST, unless the same lock
# is installed there already with FILE (a path under DEST) present.
# Usage: scripts/npm-pinned.sh FOLDER DEST FILE
set -euo pipefail
from=$1 dest=$2 file=$3
if cmp -s "$from/package-lock.json" "$dest/package-lock.json" && [[ -f $dest/$file ]]; then
  exit 0
fi
mkdir -p "$dest"
cp "$from/package.json" "$from/package-lock.json" "$dest/"
cd "$dest"
npm ci --no-audit --no-fund --loglevel=error
