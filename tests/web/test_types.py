#!/usr/bin/python3
"""web/brevox.d.ts against the module the binding builds (in the page's brevox.js): the same functions,
each with the same number of arguments; and the page's scripts against web/brevox.d.ts, by the TypeScript
compiler (pinned in tests/types/package-lock.json, installed by tests/types/install.sh into build/types).

    tests/web/test_types.py [SITE]   (default build/web/site)
"""
import json
import os
import re
import subprocess
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
SITE = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'build', 'web', 'site'))
TYPES = os.path.join(ROOT, 'build', 'types')
PAGE = os.path.join(ROOT, 'web')

# The site's brevox.js holds the worker's code as text (BrevoxWorkerSource);
# run as a worker's would be, it defines BrevoxModule. Functions embind
# registers carry their argument count (an overloaded one, a table by count:
# the declaration's trailing optional arguments count, so the largest); the
# runtime's own do not.
LIST_MODULE = """
globalThis.self = globalThis;
globalThis.location = {href: 'file:///'};
globalThis.importScripts = () => {};
globalThis.postMessage = () => {};
(0, eval)(require('fs').readFileSync(process.argv[1], 'utf8') + ';globalThis.Source = BrevoxWorkerSource;');
(0, eval)(Source);
BrevoxModule().then(m => {
  const count = f => 'argCount' in f ? f.argCount : Math.max(...Object.keys(f.overloadTable).map(Number).filter(Number.isInteger));
  const names = Object.keys(m).filter(k => typeof m[k] === 'function' && ('argCount' in m[k] || m[k].overloadTable));
  console.log(JSON.stringify(Object.fromEntries(names.map(k => [k, count(m[k])]))));
});
"""


def declared():
    """Each method of the Brevox interface in the .d.ts and its argument count."""
    with open(os.path.join(ROOT, 'web', 'brevox.d.ts'), encoding='utf-8') as f:
        text = f.read()
    body = re.search(r'export interface Brevox \{(.*?)\n\}', text, re.S).group(1)
    methods = {}
    for name, args in re.findall(r'^  (\w+)\(([^)]*)\)', body, re.M):
        methods[name] = len([a for a in args.split(',') if a.strip()])
    return methods


class Types(unittest.TestCase):
    def test_declared_functions_are_the_registered_ones(self):
        out = subprocess.run(['node', '-e', LIST_MODULE, os.path.join(SITE, 'brevox.js')],
                             check=True, capture_output=True, text=True).stdout
        self.assertEqual(declared(), json.loads(out))

    def test_page_scripts_type_check_and_stay_small(self):
        subprocess.run([os.path.join(ROOT, 'tests', 'types', 'install.sh'), TYPES], check=True)
        tsc = os.path.join(TYPES, 'node_modules', 'typescript', 'bin', 'tsc')
        config = os.path.join(ROOT, 'tests', 'web', 'tsconfig.json')
        checked = subprocess.run(['node', tsc, '--noEmit', '-p', config], capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        with open(config, encoding='utf-8') as f:
            listed = {os.path.basename(p) for p in json.load(f)['files']}
        for name in sorted(n for n in os.listdir(PAGE) if n.endswith('.js')):
            with open(os.path.join(PAGE, name), encoding='utf-8') as f:
                text = f.read()
            self.assertLessEqual(text.count('\n'), 400, name)
            if name in listed:
                self.assertTrue(text.startswith('// @ts-check'), name)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
