#!/usr/bin/env bash
# Installs the TypeScript compiler that checks the page's JavaScript against
# web/brevox.d.ts (the npm package `typescript`, pinned with its hash by
# package-lock.json) into DIR, unless it is there already.
# Usage: tests/types/install.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
if cmp -s "$here/package-lock.json" "$dir/package-lock.json" && [[ -f $dir/node_modules/typescript/bin/tsc ]]; then
  exit 0
fi
mkdir -p "$dir"
cp "$here/package.json" "$here/package-lock.json" "$dir/"
cd "$dir"
npm ci --no-audit --no-fund --loglevel=error
