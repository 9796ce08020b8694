// Applies a BPS patch with the npm package `bps`, a patcher written apart
// from Brevox: the second opinion on every patch the tests make.
//   node apply.cjs MODULES SOURCE PATCH OUT
// MODULES is the folder install.sh filled. The package checks the patch's own
// CRC-32 as it parses it, and the source's and the target's as it applies
// it; this script checks both sizes too. Any mismatch fails with one line on
// standard error and status 1, and OUT is not written.
'use strict';
const fs = require('fs');
const path = require('path');
const {createRequire} = require('module');

const [modules, sourcePath, patchPath, outPath] = process.argv.slice(2);
const bps = createRequire(path.join(path.resolve(modules), 'package.json'))('bps');

// Copies that own their memory: the package reads the whole buffer beneath
// an array, and a small Buffer from readFileSync lies in a shared pool.
const source = new Uint8Array(fs.readFileSync(sourcePath));
const patch = new Uint8Array(fs.readFileSync(patchPath));
try {
  const {instructions} = bps.parse(patch);
  if (instructions.sourceSize !== source.length)
    throw new Error(`the patch is for ${instructions.sourceSize} bytes, the source has ${source.length}`);
  const target = bps.apply(instructions, source);
  if (target.length !== instructions.targetSize)
    throw new Error(`the patch promises ${instructions.targetSize} bytes and gives ${target.length}`);
  fs.writeFileSync(outPath, target);
} catch (e) {
  console.error(`apply.cjs: ${e.message}`);
  process.exit(1);
}
