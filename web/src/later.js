// The view of the method is not needed for the greeting, so its script arrives after it (on a slow
// link it would otherwise share the line with the program's module). Until the view has started,
// what the page tells it waits here, in order; the interface is startView's.
// load(): a Promise of startView, the view's entry.
export function laterView(load) {
  let view = null;
  const waiting = [];  // [method, args] told before the view started
  const listeners = [];
  const told = (name) => (...args) => {
    if (view === null) waiting.push([name, args]);
    else if (name === 'clearRuns') view.clearRuns();
    else view.iteration[name](...args);
  };
  return {
    iteration: { begin: told('begin'), update: told('update'), end: told('end') },
    clearRuns: told('clearRuns'),
    onRuns(listener) {
      if (view === null) listeners.push(listener);
      else view.onRuns(listener);
    },
    // Starts the view, once; a view that cannot load leaves the page as it is.
    start: (() => {
      let started = null;
      return () => (started ??= load().then((startView) => {
        view = startView();
        for (const listener of listeners) view.onRuns(listener);
        for (const [name, args] of waiting.splice(0)) told(name)(...args);
      }));
    })(),
  };
}
