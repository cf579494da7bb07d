// The view of the method is not needed for the greeting, so its script arrives after it (on a slow
// link it would otherwise share the line with the program's module). Until the view has started,
// what the page tells it waits here, in order; the interface is startView's.
// load(): a Promise of startView, the view's entry.
export function laterView(load) {
  let view = null;
  let starting = null;
  const waiting = [];  // what was told before the view started, in order
  // A call of the view's interface: act(view, ...args), now or once the view has started.
  const told = (act) => (...args) => {
    if (view === null) waiting.push(() => act(view, ...args));
    else act(view, ...args);
  };
  return {
    iteration: {
      begin: told((v, ...args) => v.iteration.begin(...args)),
      update: told((v, ...args) => v.iteration.update(...args)),
      end: told((v, ...args) => v.iteration.end(...args)),
    },
    clearRuns: told((v) => v.clearRuns()),
    onRuns: told((v, listener) => v.onRuns(listener)),
    // Starts the view, once; a view that cannot load leaves the page as it is.
    start: () => (starting ??= load().then((startView) => {
      view = startView();
      for (const act of waiting.splice(0)) act();
    })),
  };
}
