// The engine's message loop, run in the page's Worker after the binding's
// emscripten output (BrevoxModule): each message {id, name, args} calls the
// binding's function `name` and is answered {id, result} or {id, error}, in
// the order the page sent them. The bytes and samples of a result move to
// the page rather than being copied: the binding made them for it alone.
// Once started the engine says {ready: true}; when it cannot start,
// {failed: why}.
'use strict';

function moved(result) {
  const parts = result && typeof result === 'object' && !ArrayBuffer.isView(result) ? Object.values(result) : [result];
  return parts.filter(part => ArrayBuffer.isView(part)).map(part => part.buffer);
}

BrevoxModule().then(core => {
  onmessage = ({data: {id, name, args}}) => {
    let result;
    try {
      if (typeof core[name] !== 'function') throw new Error(`the engine has no function ${name}`);
      result = core[name](...args);
    } catch (e) {
      postMessage({id, error: String(e && e.message || e)});
      return;
    }
    postMessage({id, result}, moved(result));
  };
  postMessage({ready: true});
}, e => postMessage({failed: String(e && e.message || e)}));
