// The web panel's figures, in headless Chromium against `brindle serve` on loopback:
// - page load: from the start of navigation to the page's first drawing of the session's
//   state (the "brindle:drawn" mark), median of 30 loads;
// - edit round trip: a field edited in page A, then saved, until the file is saved and page B
//   shows the new value, median of 100 edits.
// Run after the build and `npm ci` in tests/browser:  node bench/serve_latency.mjs
import { makeWorkspace, serve, launch } from '../tests/browser/harness.mjs';

const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s[Math.floor(s.length / 2)]; };
const pct = (xs, p) => { const s = [...xs].sort((a, b) => a - b); return s[Math.min(s.length - 1, Math.floor(s.length * p))]; };

const ws = makeWorkspace();
const server = await serve(ws);
const browser = await launch();
try {
  const a = await browser.newPage();
  await a.goto(server.url);
  await a.getByRole('button', { name: 'Editorial-BlueSquare.jpg', exact: true }).first().click();
  // The panel shows the document's package once it is picked in the panel's drop-down.
  await a.locator('#open li.front button.doc', { hasText: 'Editorial-BlueSquare.jpg' }).waitFor();
  await a.getByLabel('Package', { exact: true }).selectOption('Editorial');
  await a.locator('.row-controls[data-row="Headline"]').waitFor();

  const loads = [];
  const probe = await browser.newPage();
  for (let i = 0; i < 30; i++) {
    await probe.goto(server.url);
    await probe.locator('.row-controls[data-row="Headline"]').waitFor();
    loads.push(await probe.evaluate(() => performance.getEntriesByName('brindle:drawn')[0].startTime));
  }
  await probe.close();

  const b = await browser.newPage();
  await b.goto(server.url);
  await b.locator('.row-controls[data-row="Headline"]').waitFor();
  // Page B notes when it first shows each value.
  await b.evaluate(() => {
    window.seen = {};
    new MutationObserver(() => {
      const v = document.querySelector('.row-controls[data-row="Headline"] input').value;
      if (!(v in window.seen)) window.seen[v] = performance.timeOrigin + performance.now();
    }).observe(document.body, { attributes: true, attributeFilter: ['data-version'] });
  });

  const trips = [];
  for (let i = 0; i < 100; i++) {
    const value = 'Edit number ' + i;
    const { start, saved } = await a.evaluate(async (v) => {
      const start = performance.timeOrigin + performance.now();
      const before = Number(document.body.dataset.version);
      const input = document.querySelector('.row-controls[data-row="Headline"] input');
      input.value = v;
      input.dispatchEvent(new Event('change'));
      // The edit is in once this page has drawn the state it left; then the save.
      while (document.querySelector('.row-controls[data-row="Headline"] input').value !== v ||
             Number(document.body.dataset.version) === before) await new Promise((r) => setTimeout(r, 0));
      const r = await fetch('/api/save', { method: 'POST', headers: { 'Content-Type': 'application/json', 'X-Brindle-Token': document.querySelector('meta[name="brindle-token"]').content }, body: '{}' });
      if (!r.ok) throw new Error('save failed');
      return { start, saved: performance.timeOrigin + performance.now() };
    }, value);
    let shown;
    for (;;) {
      shown = await b.evaluate((v) => window.seen[v], value);
      if (shown) break;
      await new Promise((r) => setTimeout(r, 1));
    }
    trips.push(Math.max(saved, shown) - start);
  }
  console.log(`page load to first drawing: median ${median(loads).toFixed(1)} ms, 90th percentile ${pct(loads, 0.9).toFixed(1)} ms (${loads.length} loads)`);
  console.log(`edit in page A -> saved and shown in page B: median ${median(trips).toFixed(1)} ms, 90th percentile ${pct(trips, 0.9).toFixed(1)} ms, max ${Math.max(...trips).toFixed(1)} ms (${trips.length} edits)`);
} finally {
  await browser.close();
  await server.stop();
  ws.remove();
}
