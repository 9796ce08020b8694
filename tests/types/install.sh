#!/usr/bin/env bash
# Installs the TypeScript compiler that checks the page's JavaScript against
# web/brevox.d.ts (the npm package `typescript`, pinned with its hash by
# package-lock.json) into DIR, unless it is there already.
# Usage: tests/types/install.sh DIR
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../scripts/npm-pinned.sh" "$here" "$1" node_modules/typescript/bin/tsc
