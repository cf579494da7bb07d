// The page's script: joins the console, the page's runs and messages, the view of the method, the
// one-screen layout, the touch keys and the service worker. Each module returns its interface and
// tells what happens through listeners; none writes into another. esbuild bundles them into one
// classic script, and the view into a second that comes after the greeting; a file:// copy of the
// site loads both.
import { createConsole } from './console.js';
import { laterView } from './later.js';
import { startLayout } from './layout.js';
import { registerServiceWorker } from './offline.js';
import { startPage } from './page.js';
import { programModule } from './runtime.js';
import { startTouchKeys } from './touch.js';
import { replay } from './view/replay.js';

// The view's own script, newton-view.js, and its entry.
const viewPanel = document.getElementById('view');
const view = laterView(() => new Promise((resolve, reject) => {
  const script = document.createElement('script');
  script.src = 'newton-view.js';
  script.onload = () => resolve(() => globalThis.newtonStartView(viewPanel, { run: replay, module: programModule }));
  script.onerror = () => reject(new Error('newton-view.js'));
  document.head.append(script);
}));
const console = createConsole(document.getElementById('console'));
const page = startPage({
  console,
  view,
  status: document.getElementById('status'),
  rerun: document.getElementById('rerun'),
  clear: document.getElementById('clear'),
  retry: document.getElementById('retry'),
});
console.takeTypedAhead();
startTouchKeys(document.getElementById('touch-keys'), console, page);
startLayout(document.querySelector('main'), console, view);
let registered = false;
page.onState((state) => {
  if (state !== 'reading' || registered) return;
  registered = true;
  performance.mark('newton-greeting');  // the slow-link test reads when the greeting was shown
  // The service worker keeps the view's script from the browser's cache, where this puts it first.
  view.start().catch(() => {
    viewPanel.textContent = 'Ход метода не загрузился: обновите страницу.';
  }).then(registerServiceWorker);
});
// For tests: the console's text, and a paste as the clipboard gives it.
window.newtonScreen = () => console.screen();
window.newtonPaste = (text) => console.paste(text);
console.focus();
