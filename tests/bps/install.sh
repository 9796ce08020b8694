#!/usr/bin/env bash
# Installs the BPS patcher the tests apply patches with (the npm package
# `bps`, written apart from Brevox, pinned with its hashes by
# package-lock.json) into DIR, unless it is there already.
# Usage: tests/bps/install.sh DIR
# Without node the patch tests skip, and nothing is installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node >/dev/null; then
  echo "install.sh: no node here: the tests that apply patches skip"
  exit 0
fi
exec "$here/../../scripts/npm-pinned.sh" "$here" "$1" node_modules/bps/package.json
