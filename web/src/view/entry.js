// The view's own script (newton-view.js), which the page loads once the program has greeted: it
// hands the page the view's one entry.
import { startView } from './view.js';

globalThis.newtonStartView = startView;
