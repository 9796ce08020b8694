#!/usr/bin/python3
"""web/brevox.d.ts against the module the binding builds (in the page's brevox.js): the same functions,
each with the same number of arguments.

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

# The site's brevox.js holds the worker's code as text (BrevoxWorkerSource);
# run as a worker's would be, it defines BrevoxModule. Functions embind
# registers carry their argument count; the runtime's own do not.
LIST_MODULE = """
globalThis.self = globalThis;
globalThis.location = {href: 'file:///'};
globalThis.importScripts = () => {};
globalThis.postMessage = () => {};
(0, eval)(require('fs').readFileSync(process.argv[1], 'utf8') + ';globalThis.Source = BrevoxWorkerSource;');
(0, eval)(Source);
BrevoxModule().then(m => {
  const names = Object.keys(m).filter(k => typeof m[k] === 'function' && 'argCount' in m[k]);
  console.log(JSON.stringify(Object.fromEntries(names.map(k => [k, m[k].argCount]))));
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


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
