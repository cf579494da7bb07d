// Keeps the site's files on the first visit, so that the page loads with no network, and answers
// from them first. build.mjs fills in the list of files and a version that changes with them. On
// the first visit the files are taken from the browser's HTTP cache, where the page's load has
// just put them; an update asks the server again.
const version = 'newton-@VERSION@';
const files = @FILES@;

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const update = (await caches.keys()).some((name) => name.startsWith('newton-'));
    const cache = await caches.open(version);
    await cache.addAll(files.map((file) => new Request(file, { cache: update ? 'no-cache' : 'force-cache' })));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) if (name !== version) await caches.delete(name);
    await self.clients.claim();
  })());
});

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith((async () => {
    const cache = await caches.open(version);
    const page = event.request.mode === 'navigate' ? await cache.match('./') : undefined;
    return (await cache.match(event.request, { ignoreSearch: true })) ?? page ?? fetch(event.request);
  })());
});
