// The page's side of the engine. The binding runs in a dedicated Worker,
// which holds the image, so that opening and scanning one never holds up
// the page. The worker is made from BrevoxWorkerSource, its code as text
// (the binding's emscripten output and worker.js, put together by the
// build), through a Blob URL: a page opened from disk may not start a
// worker from a file.
//
//   const core = await startEngine();
//   const rows = JSON.parse(await core.rows());
//
// Each function of the binding is called by name and answers with what it
// returns (JSON text, Uint8Array, Float32Array...), or throws its error.
// startEngine throws an Error whose `reason` says what failed: 'worker'
// (no worker, or it stopped while starting) or 'engine' (the binding did
// not start in it, as when its WebAssembly cannot be instantiated).
'use strict';

// Typed arrays go to the worker as copies it owns; one longer than a piece
// goes a piece at a time, each copied in a task of its own, so that sending
// an image never holds the page up for long.
const EnginePiece = 4 << 20;

function startEngine() {
  return new Promise((resolve, reject) => {
    const failed = (reason, why) => reject(Object.assign(new Error(why), {reason}));
    const url = URL.createObjectURL(new Blob([BrevoxWorkerSource], {type: 'text/javascript'}));
    let worker;
    try {
      worker = new Worker(url);
    } catch (e) {
      URL.revokeObjectURL(url);
      return failed('worker', String(e && e.message || e));
    }
    const pending = new Map();
    let calls = 0, stopped = null, sending = Promise.resolve();
    // The call {id, name, args}, with {id, index, piece} messages before it
    // for each argument in `pieced` ({index: {type, length}}, sent as null).
    const send = async (id, name, args) => {
      const sent = [], moved = [], pieced = {};
      for (const [index, arg] of args.entries()) {
        if (!ArrayBuffer.isView(arg) || arg.byteLength <= EnginePiece) {
          sent.push(ArrayBuffer.isView(arg) ? arg.slice() : arg);
          if (ArrayBuffer.isView(arg)) moved.push(sent[index].buffer);
          continue;
        }
        const bytes = new Uint8Array(arg.buffer, arg.byteOffset, arg.byteLength);
        for (let at = 0; at < bytes.length; at += EnginePiece) {
          const piece = bytes.slice(at, at + EnginePiece);
          worker.postMessage({id, index, piece}, [piece.buffer]);
          await new Promise(next => setTimeout(next));
        }
        sent.push(null);
        pieced[index] = {type: arg.constructor.name, length: arg.byteLength};
      }
      worker.postMessage({id, name, args: sent, pieced}, moved);
    };
    const core = new Proxy({}, {
      // `then` stays undefined, so that the proxy is no promise to `await`.
      get: (_, name) => name === 'then' ? undefined : (...args) => new Promise((done, fail) => {
        if (stopped) return fail(stopped);
        const id = ++calls;
        pending.set(id, {done, fail});
        // In the order of the calls, however long each takes to send.
        sending = sending.then(() => send(id, name, args)).catch(e => {
          pending.delete(id);
          fail(e);
        });
      }),
    });
    worker.onmessage = ({data}) => {
      if (data.ready || data.failed) URL.revokeObjectURL(url);
      if (data.ready) return resolve(core);
      if (data.failed) return failed('engine', data.failed);
      const call = pending.get(data.id);
      pending.delete(data.id);
      if ('error' in data) call.fail(new Error(data.error));
      else call.done(data.result);
    };
    // A worker that fails to load, or throws outside a call, is of no more use.
    worker.onerror = event => {
      event.preventDefault();
      stopped = new Error(event.message || 'the engine stopped');
      pending.forEach(call => call.fail(stopped));
      pending.clear();
      failed('worker', stopped.message);
    };
  });
}
