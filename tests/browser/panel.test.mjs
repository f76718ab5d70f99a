// The plug-in's panel in a real headless Chromium: a user opens documents, picks the package
// in the panel's drop-down, edits a field of every type (the multi-choice and the deadline
// through their dialogs), meets the integer alert, applies a package, undoes, saves, and a
// second page follows the first. The files are checked with exiftool afterwards.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { makeWorkspace, serve, launch, storedFields } from './harness.mjs';

let ws;
let server;
let browser;

before(async () => {
  ws = makeWorkspace();
  server = await serve(ws);
  browser = await launch();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.stop();
  if (ws) ws.remove();
});

// Waits for the panel request the action sends, and for the page to draw the state after it.
async function panelStep(page, action) {
  const version = Number(await page.evaluate(() => document.body.dataset.version || 0));
  const [response] = await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/panel')), action()]);
  await waitForValue(page.locator('body'), true, async (l) => Number(await l.getAttribute('data-version')) > version);
  return response;
}

// Polls until the control shows the value (the page's CSP forbids evaluated predicates).
async function waitForValue(locator, value, read = (l) => l.inputValue()) {
  for (let i = 0; i < 300; i++) {
    if ((await locator.count()) === 1 && (await read(locator)) === value) return;
    await new Promise((r) => setTimeout(r, 20));
  }
  assert.fail('the control never showed ' + JSON.stringify(value) + ', it shows ' + JSON.stringify(await read(locator)));
}

const row = (page, name) => page.locator(`.row-controls[data-row="${name}"]`);

async function setText(page, name, value) {
  const field = page.getByLabel(name, { exact: true });
  await panelStep(page, async () => { await field.fill(value); await field.press('Enter'); });
}

async function openDocument(page, name) {
  await page.getByRole('button', { name, exact: true }).first().click();
  await page.locator(`#open li.front button.doc`, { hasText: name }).waitFor();
}

// Picks the package in the panel's drop-down, as the panel's rows then show it.
async function choosePackage(page, name) {
  const dropDown = page.getByLabel('Package', { exact: true });
  await dropDown.waitFor();
  if ((await dropDown.inputValue()) !== name) await panelStep(page, () => dropDown.selectOption(name));
  await waitForValue(page.getByLabel('Package', { exact: true }), name);
}

async function answerDialog(page, fill) {
  const dialog = page.locator('#dialog');
  await dialog.waitFor({ state: 'visible' });
  await fill(dialog);
  await dialog.getByRole('button', { name: 'OK', exact: true }).click();
  await dialog.waitFor({ state: 'hidden' });
}

test('one field of each type is edited, checked, saved and read back by exiftool', async () => {
  const page = await browser.newPage();
  await page.goto(server.url);
  await openDocument(page, 'Editorial-BlueSquare.jpg');
  await choosePackage(page, 'Editorial');
  await row(page, 'Headline').waitFor();
  assert.equal(await page.locator('.panel-head [data-name="version"]').textContent(), 'v. 3');

  // Integer: a text that is no whole number is an alert, and the field keeps its value.
  await setText(page, 'Issue number', 'seven');
  await assert.doesNotReject(page.locator('#alerts', { hasText: /whole number/i }).waitFor());
  assert.equal(await page.getByLabel('Issue number', { exact: true }).inputValue(), '14');
  await setText(page, 'Issue number', '7');

  await setText(page, 'Headline', 'Written in a browser');
  // The sample's review is done; the user takes it back.
  await panelStep(page, () => page.getByLabel('Legal review', { exact: true }).uncheck());
  await panelStep(page, () => page.getByLabel('Section', { exact: true }).selectOption('Sport'));
  await setText(page, 'Kicker', 'Our own kicker');
  await setText(page, 'Publication date', '2030/01/02');
  const abstract = page.getByLabel('Abstract', { exact: true });
  await panelStep(page, async () => { await abstract.fill('Line one\nLine two'); await abstract.blur(); });

  // MultiChoice through its dialog: one choice off, one on, one value of the user's own.
  await panelStep(page, async () => {
    await row(page, 'Keywords').getByRole('button', { name: 'Keywords: Change' }).click();
    await answerDialog(page, async (d) => {
      await d.getByLabel('Politics').uncheck();
      await d.getByLabel('Science').check();
      await d.getByLabel('Own value').fill('Local');
    });
  });
  await assert.doesNotReject(row(page, 'Keywords').getByText('Economy, Science, Local').waitFor());

  // Deadline: its dialog for the planned date, then Done records the user.
  await panelStep(page, async () => {
    await row(page, 'Copy deadline').getByRole('button', { name: /Edit/ }).click();
    await answerDialog(page, (d) => d.getByLabel('Planned for').fill('2031/05/06'));
  });
  await panelStep(page, () => row(page, 'Copy deadline').getByRole('button', { name: /Done/ }).click());
  await assert.doesNotReject(row(page, 'Copy deadline').getByText('Browser Tester').waitFor());
  const colour = await row(page, 'Copy deadline').locator('.colour').evaluate((e) => getComputedStyle(e).backgroundColor);
  assert.match(colour, /^rgb/);

  // Saved with the keyboard.
  await page.locator('body').click({ position: { x: 5, y: 5 } });
  await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/save') && r.ok()), page.keyboard.press('Control+S')]);

  const stored = storedFields(path.join(ws.root, 'Editorial-BlueSquare.jpg'));
  assert.equal(String(stored['Issue number']), '7');
  assert.equal(stored.Headline, 'Written in a browser');
  assert.equal(stored['Legal review'], false);
  assert.equal(stored.Section, 'Sport');
  assert.equal(stored.Kicker, 'Our own kicker');
  assert.equal(stored['Publication date'], '2030/01/02');
  assert.equal(stored.Abstract, 'Line one\\nLine two');
  assert.equal(stored.Keywords, 'Economy, Science, Local');
  // Done records the day it was pressed and the session's user.
  const now = new Date();
  const today = `${now.getFullYear()}/${String(now.getMonth() + 1).padStart(2, '0')}/${String(now.getDate()).padStart(2, '0')}`;
  assert.equal(stored['Copy deadline'], `2031/05/06,${today},Browser Tester`);
  assert.equal(stored['Story ID'], 'ED-2030-007-Spo');

  if (process.env.BRINDLE_SCREENSHOT) await page.locator('main').screenshot({ path: process.env.BRINDLE_SCREENSHOT });
  await page.close();
});

test('a package is applied, edited, a step undone, and the document saved', async () => {
  const page = await browser.newPage();
  await page.goto(server.url);
  await openDocument(page, 'Plain-BlueSquare.jpg');
  // The library's definition shows, read-only, until the package is applied.
  await choosePackage(page, 'Photo Rights');
  await page.locator('#panel-body .note', { hasText: 'Not applied' }).waitFor();
  assert.ok(await page.getByLabel('Photographer', { exact: true }).isDisabled());
  await panelStep(page, () => page.getByRole('button', { name: 'Apply', exact: true }).click());
  await waitForValue(page.getByLabel('Photographer', { exact: true }), true, (l) => l.isEnabled());
  assert.equal(await page.locator('#panel-body .note').count(), 0);

  await setText(page, 'Photographer', 'Ann Example');
  await panelStep(page, () => row(page, 'Credit line').getByRole('button', { name: 'Credit line: Recompute' }).click());
  assert.equal(await row(page, 'Credit line').locator('input').inputValue(), '© Ann Example / Getty Images');
  await setText(page, 'Fee', '99.5');
  await setText(page, 'Image folder', '/srv/photos');
  await waitForValue(page.getByLabel('Image folder', { exact: true }), '/srv/photos');
  // Choose... offers the served folders; the one chosen replaces the typed path.
  await panelStep(page, async () => {
    await row(page, 'Image folder').getByRole('button', { name: 'Image folder: Choose' }).click();
    await answerDialog(page, (d) => d.getByLabel('Folder').selectOption(fs.realpathSync(ws.root)));
  });
  await waitForValue(page.getByLabel('Image folder', { exact: true }), fs.realpathSync(ws.root));
  await panelStep(page, () => page.getByLabel('Agency', { exact: true }).fill('Reuters').then(() => page.getByLabel('Agency', { exact: true }).press('Enter')));
  // The credit is computed again from the agency now chosen.
  await panelStep(page, () => row(page, 'Credit line').getByRole('button', { name: 'Credit line: Recompute' }).click());
  assert.equal(await row(page, 'Credit line').locator('input').inputValue(), '© Ann Example / Reuters');
  await setText(page, 'Rights expire', '2031/01/01');

  // The last edit is undone with the keyboard; the field shows the stored value again.
  await page.locator('body').click({ position: { x: 5, y: 5 } });
  await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/undo') && r.ok()), page.keyboard.press('Control+Z')]);
  await waitForValue(page.getByLabel('Rights expire', { exact: true }), '');
  assert.equal(await page.getByLabel('Fee', { exact: true }).inputValue(), '99.5', 'only the last edit is undone');

  await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/save') && r.ok()), page.getByRole('button', { name: 'Save', exact: true }).click()]);
  const stored = storedFields(path.join(ws.root, 'Plain-BlueSquare.jpg'));
  assert.equal(stored.Photographer, 'Ann Example');
  assert.equal(stored['Credit line'], '© Ann Example / Reuters');
  assert.equal(String(stored.Fee), '99.5');
  assert.equal(stored['Image folder'], fs.realpathSync(ws.root));
  assert.equal(stored.Agency, 'Reuters');
  assert.ok(!stored['Rights expire'], 'the undone date is not saved');
  await page.close();
});

test('two pages on one document see each other\'s edits', async () => {
  const a = await browser.newPage();
  const b = await browser.newPage();
  await a.goto(server.url);
  await openDocument(a, 'Editorial-BlueSquare.jpg');
  await choosePackage(a, 'Editorial');
  await b.goto(server.url);
  await b.locator('#open li.front button.doc', { hasText: 'Editorial-BlueSquare.jpg' }).waitFor();
  await row(b, 'Headline').waitFor();

  await setText(a, 'Headline', 'Seen on both pages');
  await waitForValue(b.getByLabel('Headline', { exact: true }), 'Seen on both pages');
  const checked = await b.getByLabel('Legal review', { exact: true }).isChecked();
  await panelStep(b, () => b.getByLabel('Legal review', { exact: true }).setChecked(!checked));
  await waitForValue(a.getByLabel('Legal review', { exact: true }), !checked, (l) => l.isChecked());
  await a.close();
  await b.close();
});

test('a question and a password dialog are answered in the page', async () => {
  const page = await browser.newPage();
  await page.goto(server.url);
  await openDocument(page, 'Editorial-BlueSquare.jpg');
  await choosePackage(page, 'Editorial');

  // Reset asks first; No keeps the package in the document.
  await panelStep(page, async () => {
    await page.getByRole('button', { name: 'Reset', exact: true }).click();
    const question = page.locator('#question');
    await question.waitFor({ state: 'visible' });
    assert.match(await page.locator('#question-text').textContent(), /Remove all packages/);
    await question.getByRole('button', { name: 'No', exact: true }).click();
    await question.waitFor({ state: 'hidden' });
  });
  assert.equal(await page.locator('#panel-body .note').count(), 0);
  assert.ok(await page.getByLabel('Headline', { exact: true }).isEnabled());

  // Editing a package with a password asks for it; a wrong one is refused in the dialog,
  // which stays open for another try, and Escape cancels it.
  await choosePackage(page, 'Photo Rights');
  const dialog = page.locator('#dialog');
  await panelStep(page, async () => {
    await page.getByRole('button', { name: 'Edit...', exact: true }).click();
    await dialog.waitFor({ state: 'visible' });
    const password = dialog.getByLabel('Password');
    assert.equal(await password.getAttribute('type'), 'password');
    await password.fill('not the password');
    await dialog.getByRole('button', { name: 'OK', exact: true }).click();
    await dialog.locator('#dialog-alerts p').first().waitFor();
    assert.ok(await dialog.isVisible());
    await page.keyboard.press('Escape');
    await dialog.waitFor({ state: 'hidden' });
  });
  await page.close();
});
