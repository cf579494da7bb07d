// The site works offline once visited: a service worker keeps its files. Registered after the
// program has loaded, so that its copies do not compete with the first load; not where the page
// is a file:// copy, where there is no service worker.
export function registerServiceWorker() {
  if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol)) return;
  navigator.serviceWorker.register('service-worker.js').catch(() => {});
}
