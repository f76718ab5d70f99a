// What the browser tests and the latency script share: a served folder of sample documents
// (a fresh home with the sample library) and the system's Chromium, headless.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const source = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
// BRINDLE_BUILD_DIR: the build folder, absolute or from the checkout's root.
const build = path.resolve(source, process.env.BRINDLE_BUILD_DIR || 'build');
export const brindle = path.join(build, 'app', 'brindle');

// A home with the sample library, a plug-in folder with the sample defaults (deadline
// colours), and a root holding copies of the sample documents.
export function makeWorkspace() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'brindle-browser-'));
  const home = path.join(dir, 'home');
  const plugin = path.join(dir, 'plugin');
  const root = path.join(dir, 'root');
  for (const d of [home, plugin, root]) fs.mkdirSync(d);
  for (const f of fs.readdirSync(path.join(source, 'samples/plugin'))) fs.copyFileSync(path.join(source, 'samples/plugin', f), path.join(plugin, f));
  fs.symlinkSync(path.join(build, 'app', 'Brindle.pln'), path.join(plugin, 'Brindle.pln'));
  const library = fs.readdirSync(path.join(source, 'samples/library')).filter((f) => f.endsWith('.xml')).map((f) => path.join(source, 'samples/library', f));
  execFileSync(brindle, ['--home', home, 'library', 'import', ...library], { stdio: 'ignore' });
  for (const f of ['Editorial-BlueSquare.jpg', 'Plain-BlueSquare.jpg']) fs.copyFileSync(path.join(source, 'samples/documents', f), path.join(root, f));
  return { dir, home, plugin, root, remove: () => fs.rmSync(dir, { recursive: true, force: true }) };
}

// Starts `brindle serve` on a free loopback port; resolves with its address.
export function serve(ws, extra = []) {
  const child = spawn(brindle, ['--home', ws.home, '--plugin-dir', ws.plugin, '--user', 'Browser Tester', 'serve', '--listen', '127.0.0.1:0', '--root', ws.root, ...extra], { stdio: ['ignore', 'pipe', 'pipe'] });
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/serving (http:\/\/127\.0\.0\.1:\d+\/\S*)/);
      if (m) resolve({ url: m[1], child, errors: () => errors, stop: () => new Promise((done) => { child.once('exit', done); child.kill('SIGTERM'); }) });
    });
    child.once('exit', (code) => reject(new Error('brindle serve ended (' + code + '): ' + errors)));
  });
}

export async function launch() {
  // As root Chromium's sandbox cannot start; the tests then run without it.
  const args = process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : [];
  return chromium.launch({ executablePath: process.env.BRINDLE_CHROMIUM || '/usr/bin/chromium', headless: true, args });
}

// The fields of the package in the file, as exiftool reads them: name -> value.
export function storedFields(file) {
  const [tags] = JSON.parse(execFileSync('exiftool', ['-j', '-struct', '-XMP-dunmoreBRN:all', file]).toString());
  const fields = {};
  for (const p of tags.Packages || []) for (const f of p.Fields || []) fields[f.Name] = f.Value;
  return fields;
}
