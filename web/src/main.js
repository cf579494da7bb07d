// The page's script: joins the console, the page's runs and messages, the view of the method, the
// one-screen layout, the touch keys and the service worker. Each module returns its interface and
// tells what happens through listeners; none writes into another. esbuild bundles them into one
// classic script, which a file:// copy of the site loads too.
import { createConsole } from './console.js';
import { startLayout } from './layout.js';
import { registerServiceWorker } from './offline.js';
import { startPage } from './page.js';
import { startTouchKeys } from './touch.js';
import { replay } from './view/replay.js';
import { startView } from './view/view.js';

const view = startView(document.getElementById('view'), { run: replay });
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
  registerServiceWorker();
});
// For tests: the console's text, and a paste as the clipboard gives it.
window.newtonScreen = () => console.screen();
window.newtonPaste = (text) => console.paste(text);
console.focus();
