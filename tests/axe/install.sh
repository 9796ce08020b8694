#!/usr/bin/env bash
# Installs the accessibility audit the page's test injects (the npm package
# `axe-core`, pinned with its hash by package-lock.json) into DIR, unless it
# is there already. Usage: tests/axe/install.sh DIR
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../scripts/npm-pinned.sh" "$here" "$1" node_modules/axe-core/axe.min.js
