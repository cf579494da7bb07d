// The page's script: joins the console, the page's runs and messages, the touch keys and the
// service worker. esbuild bundles it with its modules into one classic script, which a file://
// copy of the site loads too.
import { createConsole } from './console.js';
import { registerServiceWorker } from './offline.js';
import { startPage } from './page.js';
import { startTouchKeys } from './touch.js';
import { replay } from './view/replay.js';
import { startView } from './view/view.js';

const handlers = {};
const iteration = startView(document.getElementById('view'), { run: replay });
const console = createConsole(document.getElementById('console'), handlers);
const page = startPage({
  console,
  status: document.getElementById('status'),
  rerun: document.getElementById('rerun'),
  clear: document.getElementById('clear'),
  retry: document.getElementById('retry'),
  iteration,
});
Object.assign(handlers, page.handlers);
console.takeTypedAhead();
startTouchKeys(document.getElementById('touch-keys'), console, page);
let registered = false;
page.onState((state) => {
  if (state !== 'reading' || registered) return;
  registered = true;
  registerServiceWorker();
});
// For tests: the console's text, and a paste as the clipboard gives it.
window.newtonScreen = () => console.screen();
window.newtonPaste = (text) => console.paste(text);
console.focus();
