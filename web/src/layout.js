// The page on one screen. On a wide screen the console and the view of the method stand side by
// side, each scrolling within itself (page.css); on a narrower one they are two tabs, «Программа»
// and «Ход метода», one tap apart. The line being typed stays above a phone's soft keyboard.
// console: createConsole's interface; view: startView's.
export function startLayout(main, console, view) {
  const tabs = [...main.querySelectorAll('.tabs [data-tab]')];
  const panel = main.querySelector('#view');
  function show(name) {
    main.dataset.tab = name;
    for (const tab of tabs) tab.setAttribute('aria-pressed', String(tab.dataset.tab === name));
  }
  for (const tab of tabs) {
    tab.addEventListener('click', () => {
      show(tab.dataset.tab);
      if (tab.dataset.tab === 'console') console.focus();
    });
  }
  show('console');
  // A new run's graph is at the view's top: the view shows it there.
  view.onRuns(() => panel.scrollTo({ top: 0 }));
  // A soft keyboard coming up shrinks the visual viewport; the line keeps its margin above it.
  window.visualViewport?.addEventListener('resize', () => {
    if (document.activeElement === console.input) console.input.scrollIntoView({ block: 'nearest' });
  });
}
