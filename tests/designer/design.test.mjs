// plotvane design in a real browser: headless chromium driven by
// playwright-core edits a copy of the sample chart over an editable SQLite
// table, and every change is checked in the page, in the preview's pixels
// and in the form file.
//
// Environment: PLOTVANE_EXE (the built program), PLOTVANE_EXAMPLES_BUILD_DIR
// (sales.form and sales.db), PLAYWRIGHT_CORE (the installed package's
// folder), DESIGN_SCREENSHOT_DIR (where the page's screenshots go).

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync, spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(import.meta.url);
const { chromium } = require(process.env.PLAYWRIGHT_CORE || 'playwright-core');

const exe = process.env.PLOTVANE_EXE;
const examples = process.env.PLOTVANE_EXAMPLES_BUILD_DIR;
const shots = process.env.DESIGN_SCREENSHOT_DIR || path.join(os.tmpdir(), 'design-screenshots');
fs.mkdirSync(shots, { recursive: true });

let dir, form, designer, url, origin, token, browser, page;

// The sample form with its query replaced by the table it reads, so the
// records can be edited.
function writeForm(file) {
  const sample = fs.readFileSync(path.join(examples, 'sales.form'), 'utf8');
  const table = [
    '  object SalesTable: TSQLiteTable',
    '    Tag = 0',
    "    DatabaseName = 'sales.db'",
    "    TableName = 'monthly'",
    '    Active = True',
    '  end',
  ].join('\n');
  const text = sample
    .replace(/  object SalesQuery: TSQLiteQuery[\s\S]*?\n  end/, table)
    .replace('DataSet = SalesQuery', 'DataSet = SalesTable');
  assert.notEqual(text, sample);
  fs.writeFileSync(file, text);
}

function startDesigner(file) {
  return new Promise((resolve, reject) => {
    const child = spawn(exe, ['design', file, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    let err = '';
    const timer = setTimeout(() => reject(new Error('the designer printed no address: ' + out + err)), 20000);
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/at (http:\/\/\S+)/);
      if (m) {
        clearTimeout(timer);
        resolve({ child, url: m[1] });
      }
    });
    child.stderr.on('data', (d) => { err += d; });
    child.on('exit', (code) => reject(new Error('the designer stopped with ' + code + ': ' + err)));
  });
}

// Counts the preview's pixels in the given rows whose channels lie in the
// ranges of Match ({ r: [min, max], g: ..., b: ... }). The page's content
// security policy forbids evaluating text, so the test is a range check.
async function countPixels(match, fromRow = 0, toRow = 100000, fromCol = 0, toCol = 100000) {
  return page.evaluate(async ({ match, fromRow, toRow, fromCol, toCol }) => {
    const img = document.getElementById('preview');
    // The page may be swapping in a newer picture, which rejects a decode
    // of the one it replaces: decode the one shown once it has settled.
    for (let tries = 0; ; tries++) {
      try { await img.decode(); break; } catch (e) { if (tries > 50) throw e; }
      await new Promise((resolve) => requestAnimationFrame(resolve));
    }
    const c = document.createElement('canvas');
    c.width = img.naturalWidth;
    c.height = img.naturalHeight;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, c.width, c.height).data;
    const inRange = (v, [lo, hi]) => v >= lo && v <= hi;
    const f = (r, g, b) => inRange(r, match.r) && inRange(g, match.g) && inRange(b, match.b);
    let n = 0;
    for (let y = fromRow; y < Math.min(toRow, c.height); y++)
      for (let x = fromCol; x <= Math.min(toCol, c.width - 1); x++) {
        const i = (y * c.width + x) * 4;
        if (f(d[i], d[i + 1], d[i + 2])) n++;
      }
    return n;
  }, { match, fromRow, toRow, fromCol, toCol });
}

// The columns [first, last] of the leftmost run of columns holding at least
// five pixels in the ranges of Match: the first bar.
async function firstColumnRun(match) {
  return page.evaluate(async (match) => {
    const img = document.getElementById('preview');
    // The page may be swapping in a newer picture, which rejects a decode
    // of the one it replaces: decode the one shown once it has settled.
    for (let tries = 0; ; tries++) {
      try { await img.decode(); break; } catch (e) { if (tries > 50) throw e; }
      await new Promise((resolve) => requestAnimationFrame(resolve));
    }
    const c = document.createElement('canvas');
    c.width = img.naturalWidth;
    c.height = img.naturalHeight;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, c.width, c.height).data;
    const inRange = (v, [lo, hi]) => v >= lo && v <= hi;
    let first = -1;
    for (let x = 0; x < c.width; x++) {
      let n = 0;
      for (let y = 0; y < c.height; y++) {
        const i = (y * c.width + x) * 4;
        if (inRange(d[i], match.r) && inRange(d[i + 1], match.g) && inRange(d[i + 2], match.b)) n++;
      }
      if (n >= 5 && first < 0) first = x;
      if (n < 5 && first >= 0) return [first, x - 1];
    }
    return [first, c.width - 1];
  }, match);
}

async function previewTag() {
  return page.locator('#preview').getAttribute('data-etag');
}

// Waits until the preview of On (the page by default) shows another picture
// than the one tagged Before.
async function previewChangedFrom(before, on = page) {
  await on.waitForFunction((b) => {
    const img = document.getElementById('preview');
    return img.dataset.etag && img.dataset.etag !== b && img.complete;
  }, before, { timeout: 10000 });
}

function row(p) {
  return page.locator(`.prop[data-path="${p}"]`);
}

async function shot(name) {
  await page.screenshot({ path: path.join(shots, name + '.png') });
}

async function apiState() {
  return page.evaluate(async (t) => (await fetch('/api/state', { headers: { 'X-Plotvane-Token': t } })).json(), token);
}

before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'plotvane-design-'));
  fs.copyFileSync(path.join(examples, 'sales.db'), path.join(dir, 'sales.db'));
  // The table the form edits: the sample's sums by month, one row a month.
  execFileSync('sqlite3', [path.join(dir, 'sales.db'),
    'CREATE TABLE monthly AS SELECT month_no, month, SUM(revenue) AS revenue FROM sales ' +
    'GROUP BY month_no, month ORDER BY month_no']);
  form = path.join(dir, 'sales.form');
  writeForm(form);
  ({ child: designer, url } = await startDesigner(form));
  origin = new URL(url).origin;
  token = new URL(url).searchParams.get('token');
  // A fresh profile folder per run (the --user-data-dir of chromium).
  browser = await chromium.launchPersistentContext(path.join(dir, 'profile'), {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1440, height: 900 },
  });
  page = await browser.newPage();
  await page.goto(url);
  await page.waitForSelector('.prop[data-path="TitleColor"]');
  await page.waitForFunction(() => !!document.getElementById('preview').dataset.etag);
});

after(async () => {
  if (browser) await browser.close();
  if (designer) {
    designer.removeAllListeners('exit');
    designer.kill('SIGTERM');
  }
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

test('requests without the token, or cross-origin writes, are refused', async () => {
  const plain = await fetch(origin + '/api/state');
  assert.equal(plain.status, 403);
  assert.match((await plain.json()).error, /token/);
  const wrong = await fetch(origin + '/?token=' + 'x'.repeat(token.length));
  assert.equal(wrong.status, 403);
  const page403 = await fetch(origin + '/');
  assert.equal(page403.status, 403);
  const cross = await fetch(origin + '/api/property', {
    method: 'POST',
    headers: { 'X-Plotvane-Token': token, 'Content-Type': 'application/json', Origin: 'http://evil.example' },
    body: JSON.stringify({ component: 'RevenueChart', property: 'Width', value: 500 }),
  });
  assert.equal(cross.status, 403);
  const form_ = await fetch(origin + '/api/property', {
    method: 'POST',
    headers: { 'X-Plotvane-Token': token, 'Content-Type': 'application/x-www-form-urlencoded' },
    body: 'component=RevenueChart',
  });
  assert.equal(form_.status, 415);
  // None of them changed anything.
  const state = await apiState();
  assert.equal(state.canUndo, false);
  await shot('01-opened');
});

test('TitleColor changes the title pixels of the preview', async () => {
  const red = { r: [201, 255], g: [0, 59], b: [0, 59] };
  const before = await countPixels(red, 0, 30);
  const tag = await previewTag();
  await row('TitleColor').locator('select').selectOption('clRed');
  await previewChangedFrom(tag);
  const after_ = await countPixels(red, 0, 30);
  assert.ok(after_ > before + 500, `red title pixels ${before} -> ${after_}`);
  assert.equal(await row('TitleColor').locator('select').inputValue(), 'clRed');
  // The colour picker sets a colour by its RGB.
  const tag2 = await previewTag();
  await row('TitleColor').locator('input[type=color]').evaluate((e) => {
    e.value = '#00ff00';
    e.dispatchEvent(new Event('change'));
  });
  await previewChangedFrom(tag2);
  assert.ok((await countPixels({ r: [0, 59], g: [201, 255], b: [0, 59] }, 0, 30)) > 500);
  assert.equal(await row('TitleColor').locator('select').inputValue(), 'clLime');
  await shot('02-title-color');
});

test('a refused value shows the component\'s error and keeps the old value', async () => {
  const q = row('JPEGQuality').locator('input');
  await q.fill('150');
  await q.press('Tab');
  await row('JPEGQuality').locator('.error').filter({ hasText: 'out of range 1..100' }).waitFor();
  assert.equal(await row('JPEGQuality').locator('input').inputValue(), '80');

  const w = row('Width').locator('input');
  await w.fill('0');
  await w.press('Tab');
  await row('Width').locator('.error').filter({ hasText: 'Width 0' }).waitFor();
  assert.equal(await row('Width').locator('input').inputValue(), '400');
  await row('PreviewFormat').scrollIntoViewIfNeeded();
  await page.locator('#properties').evaluate((e) => { e.scrollTop -= 120; });
  await shot('03-refused-values');

  const y = row('YValueSource').locator('input');
  await y.fill('no_such_field');
  await y.press('Tab');
  await row('YValueSource').locator('.error').filter({ hasText: 'no_such_field' }).waitFor();
  assert.equal(await row('YValueSource').locator('input').inputValue(), 'revenue');
  await shot('03-refused-field');

  const state = await apiState();
  const chart = state.components.find((c) => c.name === 'RevenueChart');
  const value = (name) => chart.properties.find((p) => p.path === name).value;
  assert.equal(value('JPEGQuality'), 80);
  assert.equal(value('Width'), 400);
  assert.equal(value('YValueSource'), 'revenue');
});

test('SeriesType and View3D redraw the preview', async () => {
  let tag = await previewTag();
  await row('SeriesType').locator('select').selectOption('stPie');
  await previewChangedFrom(tag);
  await shot('04-pie');
  tag = await previewTag();
  await row('View3D').locator('input').check();
  await previewChangedFrom(tag);
  await shot('05-pie-3d');
  tag = await previewTag();
  await row('SeriesType').locator('select').selectOption('stBar');
  await previewChangedFrom(tag);
  await shot('06-bars-3d');
  tag = await previewTag();
  await row('View3D').locator('input').uncheck();
  await previewChangedFrom(tag);
});

test('a font edit: size and bold', async () => {
  const tag = await previewTag();
  const size = row('TitleFont.Size').locator('input');
  await size.fill('20');
  await size.press('Tab');
  await previewChangedFrom(tag);
  const tag2 = await previewTag();
  await row('TitleFont.Style').getByLabel('TitleFont.Style fsItalic').check();
  await previewChangedFrom(tag2);
  const state = await apiState();
  const chart = state.components.find((c) => c.name === 'RevenueChart');
  const font = chart.properties.find((p) => p.path === 'TitleFont');
  assert.equal(font.props.find((p) => p.name === 'Size').value, 20);
  assert.deepEqual(font.props.find((p) => p.name === 'Style').value, ['fsBold', 'fsItalic']);
});

test('closing and opening the data set', async () => {
  const blue = { r: [0, 59], g: [0, 59], b: [201, 255] };
  const bars = await countPixels(blue);
  assert.ok(bars > 1000, 'blue bar pixels: ' + bars);
  let tag = await previewTag();
  await page.click('#data-close');
  await page.locator('#data-state').filter({ hasText: 'closed' }).waitFor();
  await previewChangedFrom(tag);
  assert.ok((await countPixels(blue)) < bars / 10, 'the bars are gone');
  await shot('07-data-closed');
  tag = await previewTag();
  await page.click('#data-open');
  await page.locator('#data-state').filter({ hasText: '12 records' }).waitFor();
  await previewChangedFrom(tag);
  assert.equal(await countPixels(blue), bars);
});

test('posting an edited record changes the bar', async () => {
  const blue = { r: [0, 59], g: [0, 59], b: [201, 255] };
  const [x0, x1] = await firstColumnRun(blue);
  assert.ok(x0 >= 0 && x1 - x0 >= 3, `first bar at columns ${x0}..${x1}`);
  const before = await countPixels(blue, 0, 100000, x0, x1);
  const cell = page.locator('#records tr[data-recno="1"] input[data-field="revenue"]');
  const old = await cell.inputValue();
  const tag = await previewTag();
  await cell.fill('45');
  await page.locator('#records tr[data-recno="1"] button').click();
  await previewChangedFrom(tag);
  // The first bar, now the largest value, is the tallest: more of its
  // columns are blue.
  const [y0, y1] = await firstColumnRun(blue);
  const after_ = await countPixels(blue, 0, 100000, y0, y1);
  assert.ok(after_ > before * 1.5, `blue pixels of the first bar ${before} -> ${after_}`);
  await page.waitForFunction(() =>
    document.querySelector('#records tr[data-recno="1"] input[data-field="revenue"]').value === '45');
  await shot('08-record-posted');
  // The table holds it: sqlite3 reads the new value.
  const db = execFileSync('sqlite3', [path.join(dir, 'sales.db'), 'SELECT revenue FROM monthly WHERE rowid = 1']);
  assert.equal(Number(db.toString().trim()), 45);
  assert.notEqual(old, '45');
});

test('undo and redo', async () => {
  const legend = () => page.locator('.prop[data-path="LegendVisible"] input');
  const value = async () => {
    const state = await apiState();
    return state.components.find((c) => c.name === 'RevenueChart').properties.find((x) => x.path === 'LegendVisible').value;
  };
  let tag = await previewTag();
  await legend().uncheck();
  await previewChangedFrom(tag);
  assert.equal(await value(), false);
  const without = await previewTag();
  await page.click('#undo');
  await page.waitForFunction(() => document.querySelector('.prop[data-path="LegendVisible"] input').checked);
  await previewChangedFrom(without);
  assert.equal(await value(), true);
  assert.equal(await page.locator('#redo').isEnabled(), true);
  tag = await previewTag();
  await page.click('#redo');
  await page.waitForFunction(() => !document.querySelector('.prop[data-path="LegendVisible"] input').checked);
  await previewChangedFrom(tag);
  assert.equal(await previewTag(), without, 'the same picture as before the undo');
  assert.equal(await value(), false);
  // Undone again: the legend stays in the saved form.
  await page.click('#undo');
  await page.waitForFunction(() => document.querySelector('.prop[data-path="LegendVisible"] input').checked);
});

test('a further series: added, its fields set from the data set\'s, stacked, then removed', async () => {
  const fuchsia = { r: [215, 255], g: [0, 40], b: [215, 255] };
  assert.equal(await countPixels(fuchsia), 0);
  let tag = await previewTag();
  await page.click('#add-series');
  // The new series is selected, listed under its chart, and drawn on it.
  await page.locator('#inspected').filter({ hasText: 'Series1: TNorq_DBPlotvaneSeries' }).waitFor();
  await page.locator('li.depth2[data-component="Series1"]').waitFor();
  assert.equal(await page.locator('#preview-name').textContent(), 'RevenueChart');
  assert.equal(await row('DataSource').locator('select').inputValue(), 'SalesSource');
  assert.equal(await row('XLabelsSource').locator('input').inputValue(), 'month');
  // Its field names are offered from the table's.
  const offered = await row('YValueSource').locator('input').evaluate((e) => [...e.list.options].map((o) => o.value));
  assert.deepEqual(offered, ['month_no', 'month', 'revenue']);
  await previewChangedFrom(tag);

  // A field the table does not have: the error names the series and the
  // field beside it, and the preview stays a picture.
  const y = row('YValueSource').locator('input');
  await y.fill('turnover');
  await y.press('Tab');
  const error = row('YValueSource').locator('.error');
  await error.filter({ hasText: 'turnover' }).waitFor();
  assert.match(await error.textContent(), /Series1\.YValueSource[\s\S]*field "turnover" not found/);
  assert.equal(await y.inputValue(), '');
  assert.equal(await page.locator('#preview-error').textContent(), '');
  await shot('12-series-bad-field');

  tag = await previewTag();
  await y.fill('revenue');
  await y.press('Tab');
  await previewChangedFrom(tag);
  tag = await previewTag();
  await row('SeriesColor').locator('select').selectOption('clFuchsia');
  await previewChangedFrom(tag);
  const beside = await countPixels(fuchsia);
  assert.ok(beside > 300, 'fuchsia bar pixels beside the blue ones: ' + beside);
  const [b0, b1] = await firstColumnRun(fuchsia);
  await shot('13-series-added');

  // Stacked, the fuchsia bars stand on the blue ones: as wide as both were.
  await page.click('li[data-component="RevenueChart"]');
  tag = await previewTag();
  await row('Stacking').locator('select').selectOption('sgStacked');
  await previewChangedFrom(tag);
  const [s0, s1] = await firstColumnRun(fuchsia);
  assert.ok(s1 - s0 > (b1 - b0) * 1.5, `the first fuchsia bar: columns ${b0}..${b1} beside, ${s0}..${s1} stacked`);
  await row('SeriesPalette').scrollIntoViewIfNeeded();
  await shot('14-series-stacked');
  // The theme chooser above the preview.
  tag = await previewTag();
  await page.locator('#theme').selectOption('thDark');
  await previewChangedFrom(tag);
  const dark = await countPixels({ r: [0, 60], g: [0, 60], b: [0, 70] }, 0, 20);
  assert.ok(dark > 2000, 'dark background pixels: ' + dark);
  assert.equal(await row('Theme').locator('select').inputValue(), 'thDark');
  await shot('15-theme-dark');
  tag = await previewTag();
  await page.locator('#theme').selectOption('thClassic');
  await previewChangedFrom(tag);

  // Removed, its bars are gone and nothing in the page names it.
  await page.click('li[data-component="Series1"]');
  tag = await previewTag();
  await page.click('#remove-series');
  await page.locator('li[data-component="Series1"]').waitFor({ state: 'detached' });
  await previewChangedFrom(tag);
  assert.equal(await countPixels(fuchsia), 0);
  assert.equal(await page.locator('#inspected').textContent(), 'RevenueChart: TNorq_DBPlotvane');
  const state = await apiState();
  assert.equal(state.components.some((c) => c.name === 'Series1'), false);
  assert.deepEqual(state.components.find((c) => c.name === 'RevenueChart').series, []);
  await row('Stacking').locator('select').selectOption('sgNone');
  await page.waitForFunction(() => document.querySelector('.prop[data-path="Stacking"] select').value === 'sgNone');
});

test('save writes the form writer\'s text, keeps FORM.bak and asks before overwriting a changed file', async () => {
  const original = fs.readFileSync(form, 'utf8');
  await page.click('#save');
  await page.locator('#status').filter({ hasText: /^Saved/ }).waitFor();
  const saved = fs.readFileSync(form, 'utf8');
  assert.equal(fs.readFileSync(form + '.bak', 'utf8'), original);
  assert.match(saved, /TitleColor = clLime/);
  assert.match(saved, /TitleFont.Size = 20/);
  assert.match(saved, /DataSet = SalesTable/);
  assert.match(saved, /PreviewImage = nil/);
  // The saved file read back and written again by the form writer is the same.
  const rewritten = path.join(dir, 'rewritten.form');
  execFileSync(exe, ['write-form', form, '-o', rewritten]);
  assert.equal(fs.readFileSync(rewritten, 'utf8'), saved);

  // Someone else changes the file: Save asks, and a "no" leaves it alone.
  fs.writeFileSync(form, saved.replace('Width = 400', 'Width = 410'));
  const w = row('Height').locator('input');
  await w.fill('260');
  await w.press('Tab');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Unsaved changes');
  page.once('dialog', (d) => d.dismiss());
  await page.click('#save');
  await page.locator('#status').filter({ hasText: 'Not saved' }).waitFor();
  assert.match(fs.readFileSync(form, 'utf8'), /Width = 410/);
  // A "yes" overwrites it.
  page.once('dialog', (d) => d.accept());
  await page.click('#save');
  await page.locator('#status').filter({ hasText: /^Saved/ }).waitFor();
  const now = fs.readFileSync(form, 'utf8');
  assert.match(now, /Width = 400/);
  assert.match(now, /Height = 260/);
  await shot('09-saved');
});

test('closing the page with unsaved changes asks first', async () => {
  const h = row('Height').locator('input');
  await h.fill('270');
  await h.press('Tab');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Unsaved changes');
  // The page needs a user gesture before it may ask.
  await page.click('#filter');
  const asked = new Promise((resolve) => page.once('dialog', (d) => { resolve(d.type()); d.dismiss(); }));
  await page.close({ runBeforeUnload: true });
  assert.equal(await asked, 'beforeunload');
  assert.equal(page.isClosed(), false);
  await page.screenshot({ path: path.join(shots, '10-inspector.png') });
});

test('strings are shown as text, never as markup', async () => {
  const p = await browser.newPage();
  await p.goto(url);
  await p.waitForSelector('.prop[data-path="AxisLeftTitleCaption"]');
  const input = p.locator('.prop[data-path="AxisLeftTitleCaption"] input');
  await input.fill('<img src=x onerror="window.pwned=1">EUR');
  await input.press('Tab');
  await p.waitForFunction(() =>
    document.querySelector('.prop[data-path="AxisLeftTitleCaption"] input').value.startsWith('<img'));
  await p.click('li[data-component="SalesTable"]');
  await p.waitForSelector('.prop[data-path="TableName"]');
  await p.click('li[data-component="RevenueChart"]');
  assert.equal(await p.evaluate(() => window.pwned), undefined);
  assert.equal(await p.locator('#properties img').count(), 0);
  await p.close();
});

test('stopping the designer with unsaved changes writes them beside the form', async () => {
  const saved = fs.readFileSync(form, 'utf8');
  designer.removeAllListeners('exit');
  const exited = new Promise((resolve) => designer.once('exit', (code) => resolve(code)));
  designer.kill('SIGTERM');
  assert.equal(await exited, 0);
  designer = null;
  assert.equal(fs.readFileSync(form, 'utf8'), saved);
  const unsaved = fs.readFileSync(form + '.unsaved', 'utf8');
  assert.match(unsaved, /Height = 270/);
  assert.match(saved, /Height = 260/);
});

test('a query\'s SQL edited in the page runs at once, a broken one is refused, and the saved form renders', async () => {
  // The sample form itself, with its query, in a folder of its own.
  const qdir = path.join(dir, 'query');
  fs.mkdirSync(qdir);
  fs.copyFileSync(path.join(examples, 'sales.db'), path.join(qdir, 'sales.db'));
  const qform = path.join(qdir, 'sales.form');
  fs.copyFileSync(path.join(examples, 'sales.form'), qform);
  const { child, url: qurl } = await startDesigner(qform);
  const p = await browser.newPage();
  try {
    await p.goto(qurl);
    await p.waitForFunction(() => !!document.getElementById('preview').dataset.etag);
    await p.click('li[data-component="SalesQuery"]');
    const sqlRow = p.locator('.prop[data-path="SQL.Strings"]');
    const sql = sqlRow.locator('textarea');
    const sample = await sql.inputValue();
    assert.match(sample, /SUM\(revenue\)/);

    await sql.fill('SELECT month, revenue FROM nosuch');
    await sql.blur();
    await sqlRow.locator('.error').filter({ hasText: 'SalesQuery was open and cannot open again' }).waitFor();
    assert.match(await sqlRow.locator('.error').textContent(), /no such table: nosuch/);
    assert.equal(await sql.inputValue(), sample);
    await p.locator('#data-state').filter({ hasText: '12 records' }).waitFor();
    await p.screenshot({ path: path.join(shots, '11-sql-refused.png') });

    const tag = await p.locator('#preview').getAttribute('data-etag');
    await sql.fill("SELECT month, revenue FROM sales WHERE region = 'EU' ORDER BY month_no");
    await sql.blur();
    await previewChangedFrom(tag, p);
    await p.waitForFunction(() => document.querySelector('#records tbody td:nth-child(3)')?.textContent === '7');
    assert.equal(await sqlRow.locator('.error').textContent(), '');
    await p.click('#save');
    await p.locator('#status').filter({ hasText: /^Saved/ }).waitFor();
    const saved = fs.readFileSync(qform, 'utf8');
    assert.match(saved, /region = ''EU''/);
    assert.match(saved, /\n    Active = True\n/);
    // The saved form renders with its points: --strict fails on a chart
    // over a closed data set.
    const render = spawnSync(exe, ['render', qform, '-o', path.join(qdir, 'chart.png'), '--strict']);
    assert.equal(render.status, 0, render.stderr.toString());
    assert.equal(render.stderr.toString(), '');

    // Closed on purpose, the query is saved so only when the user says so.
    await p.click('#data-close');
    await p.locator('#data-state').filter({ hasText: 'closed' }).waitFor();
    const asked = new Promise((resolve) => p.once('dialog', (d) => { resolve(d.message()); d.dismiss(); }));
    await p.click('#save');
    assert.match(await asked, /SalesQuery was open when the form was saved and is closed now[\s\S]*data set closed\?/);
    await p.locator('#status').filter({ hasText: 'Not saved' }).waitFor();
    assert.equal(fs.readFileSync(qform, 'utf8'), saved);
  } finally {
    await p.close();
    child.removeAllListeners('exit');
    child.kill('SIGTERM');
  }
});

test('the served picture shows each bar\'s hint: the image map\'s area and the SVG point under the pointer', async () => {
  // The sample form, its query kept, with a hint and a link template.
  const served = path.join(dir, 'hints.form');
  const sample = fs.readFileSync(path.join(examples, 'sales.form'), 'utf8');
  const text = sample.replace(/(object RevenueChart: TNorq_DBPlotvane\n    Tag = 0\n)/,
    "$1    HintTemplate = '{label}: {value} EUR <{param:region}>'\n    LinkTemplate = '/orders?month={label}'\n");
  assert.notEqual(text, sample);
  fs.writeFileSync(served, text);
  const child = spawn(exe, ['serve', served, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  try {
    const base = await new Promise((resolve, reject) => {
      let out = '';
      const timer = setTimeout(() => reject(new Error('serve printed no address: ' + out)), 20000);
      child.stdout.on('data', (d) => {
        out += d;
        const m = out.match(/at (http:\/\/\S+?)\/\s/);
        if (m) { clearTimeout(timer); resolve(m[1]); }
      });
    });
    const p = await browser.newPage();
    try {
      // The index page: the picture uses its map; the area under the
      // pointer at a bar is that bar's, titled by its hint.
      await p.goto(base + '/');
      const img = p.locator('img[usemap="#RevenueChart"]');
      await img.waitFor();
      await p.waitForFunction(() => document.querySelector('img[usemap]').complete);
      const areas = await p.$$eval('map[name="RevenueChart"] area', (as) => as.map((a) => ({
        coords: a.coords.split(',').map(Number), title: a.title, href: a.getAttribute('href') })));
      assert.equal(areas.length, 12);
      const oct = areas.find((a) => a.title === 'Oct: 25 EUR <ALL>');
      assert.ok(oct, JSON.stringify(areas.map((a) => a.title)));
      assert.equal(oct.href, '/orders?month=Oct');
      const box = await img.boundingBox();
      const [l, t, r, b] = oct.coords;
      const x = box.x + (l + r) / 2, y = box.y + (t + b) / 2;
      await p.mouse.move(x, y);
      const hovered = await p.evaluate(([hx, hy]) => {
        const e = document.elementFromPoint(hx, hy);
        return e && e.tagName === 'AREA' ? e.title : (e ? e.tagName : null);
      }, [x, y]);
      assert.equal(hovered, 'Oct: 25 EUR <ALL>');
      await p.screenshot({ path: path.join(shots, 'hints-index.png') });

      // The SVG alone: the element under the pointer is the bar's shape,
      // in its group whose <title> the browser shows, inside its link.
      await p.goto(base + '/RevenueChart.svg?region=EU');
      const svgHover = await p.evaluate(() => {
        const g = [...document.querySelectorAll('g.pv-point')].find((e) => e.querySelector('title').textContent.startsWith('Oct:'));
        const r = g.querySelector('rect').getBoundingClientRect();
        const e = document.elementFromPoint(r.x + r.width / 2, r.y + r.height / 2);
        return { count: document.querySelectorAll('g.pv-point').length,
                 title: e.parentNode.querySelector('title').textContent,
                 link: e.closest('a') && e.closest('a').getAttribute('href') };
      });
      assert.deepEqual(svgHover, { count: 12, title: 'Oct: 15 EUR <EU>', link: '/orders?month=Oct' });
    } finally {
      await p.close();
    }
  } finally {
    child.kill('SIGTERM');
  }
});
