// The engine's message loop, run in the page's Worker after the binding's
// emscripten output (BrevoxModule): each message {id, name, args} calls the
// binding's function `name` and is answered {id, result} or {id, error}, in
// the order the page sent them. An argument too long for one message came
// before it in pieces ({id, index, piece}): the call's `pieced` names them,
// {index: {type, length}}. The bytes and samples of a result move to the
// page rather than being copied: the binding made them for it alone.
// Once started the engine says {ready: true}; when it cannot start,
// {failed: why}.
'use strict';

const pieces = new Map();  // `${id} ${index}`: the pieces come so far

function joined(id, index, {type, length}) {
  const bytes = new Uint8Array(length);
  let at = 0;
  for (const piece of pieces.get(`${id} ${index}`) || []) {
    bytes.set(piece, at);
    at += piece.length;
  }
  pieces.delete(`${id} ${index}`);
  if (at !== length) throw new Error(`argument ${index} came with ${at} of its ${length} bytes`);
  return new self[type](bytes.buffer);
}

function moved(result) {
  const parts = result && typeof result === 'object' && !ArrayBuffer.isView(result) ? Object.values(result) : [result];
  return parts.filter(part => ArrayBuffer.isView(part)).map(part => part.buffer);
}

BrevoxModule().then(core => {
  onmessage = ({data: {id, index, piece, name, args, pieced}}) => {
    if (piece) {
      const key = `${id} ${index}`;
      pieces.set(key, [...pieces.get(key) || [], piece]);
      return;
    }
    let result;
    try {
      if (typeof core[name] !== 'function') throw new Error(`the engine has no function ${name}`);
      result = core[name](...args.map((arg, i) => i in pieced ? joined(id, i, pieced[i]) : arg));
    } catch (e) {
      postMessage({id, error: String(e && e.message || e)});
      return;
    }
    postMessage({id, result}, moved(result));
  };
  postMessage({ready: true});
}, e => postMessage({failed: String(e && e.message || e)}));
