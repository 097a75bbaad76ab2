// A clerk's day in the browser: fetch the examples, select a chain, process it, correct
// BIB-7/2024's customer and destination in the grid, import it, see the ERP order and its PDF;
// and the safety around it: two sessions keep their own selections, markup from an order is
// shown as text, a request without the form token is refused, a login is asked for beyond
// loopback.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, shoot } from './browser.mjs';
import { makeFolder, serve, run, hostileBuyer, removeFolders } from './server.mjs';

let browser;
let server;

before(async () => {
  browser = await launch();
  server = await serve(makeFolder(), '127.0.0.1');
});

after(async () => {
  await server?.stop();
  await browser?.close();
  removeFolders();
});

/** Posts the form of a button and waits for the long action's outcome. */
async function runJob(page, button) {
  await page.getByRole('button', { name: button }).click();
  await page.waitForURL(/\/job$/);
  await page.locator('.outcome').waitFor({ timeout: 20000 });
}

test('a clerk fetches, processes, corrects, imports and sees the ERP order', async () => {
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 }, locale: 'en-GB' });
  const page = await context.newPage();
  await page.goto(`${server.url}/chains`);
  await runJob(page, 'Fetch');
  await assert.doesNotReject(page.getByText('listed 7, new 7, already registered 0').waitFor());
  await shoot(page, 'fetch');

  await page.goto(`${server.url}/chains`);
  const library = page.locator('tbody.chain', { hasText: 'BIB-7/2024' });
  await library.getByRole('checkbox').check();
  await page.locator('#selected-count', { hasText: /^1 / }).waitFor();
  // The hostile buyer's name is text on the page, and no script of it ran.
  await page.getByText(hostileBuyer).waitFor();
  assert.equal(await page.evaluate(() => window.pwned), undefined);
  await shoot(page, 'chains');

  await runJob(page, 'Process the selection');
  const outcome = await page.locator('.outcome').innerText();
  assert.match(outcome, /1 order\(s\) reviewed: 0 ready, 0 with warnings, 1 with errors/);
  await shoot(page, 'process');

  await page.getByRole('link', { name: /BIB-7\/2024/ }).click();
  await page.waitForURL(/\/orders\/\d+$/);
  const libraryId = page.url().match(/(\d+)$/)[1];
  const customer = page.locator('input[name="customer"]');
  assert.equal(await customer.inputValue(), '0');
  // The customer's row is marked in error, the destination's in warning.
  assert.equal(await page.locator('tr.mark-error input[name="customer"]').count(), 1);
  assert.equal(await page.locator('tr.mark-warning input[name="destination"]').count(), 1);
  await page.getByText('Cliente non trovato').waitFor();
  await shoot(page, 'review');

  // A code the master data does not have is refused, naming the nearest, and nothing changes.
  await customer.fill('9999');
  await customer.press('Enter');
  await page.locator('.notice.error', { hasText: 'Nothing was changed.' }).waitFor();
  assert.equal(await page.locator('input[name="customer"]').inputValue(), '0');

  await page.locator('input[name="customer"]').fill('1002');
  await page.locator('input[name="destination"]').fill('bibl');
  await page.locator('input[name="destination"]').press('Enter');
  const notice = await page.locator('.notice').innerText();
  assert.match(notice, /changed: customer 0 -> 1002/);
  assert.match(notice, /changed: destination \(empty\) -> BIBL/);
  // Verified again at once: the order is ready and has no messages left.
  assert.equal(await page.locator('.plan .verdict-ready').count(), 1);
  assert.equal(await page.locator('input[name="destination"]').inputValue(), 'BIBL');
  await shoot(page, 'review-corrected');

  await page.goto(`${server.url}/chains`);
  await runJob(page, 'Import the selection');
  const imported = await page.locator('.outcome').innerText();
  assert.match(imported, /1 chain\(s\): 1 imported, 0 failed, 1 ERP order\(s\) made/);
  assert.match(imported, /BIB-7\/2024.*imported.*OCL A\/1/s);
  await shoot(page, 'import');

  await page.getByRole('link', { name: 'See the ERP orders' }).click();
  const orders = await page.locator('table.erp').innerText();
  assert.match(orders, /OCL A\/1\s+19\/03\/2024\s+1002 Comune di Borgo San Vitale\s+BIBL\s+BIB-7\/2024\s+open/);
  assert.match(orders, /AFP-UFF-00112/);
  await shoot(page, 'erp-orders');

  const pdf = await context.request.get(`${server.url}/pdf/${libraryId}`);
  assert.equal(pdf.status(), 200);
  assert.equal(pdf.headers()['content-type'], 'application/pdf');
  assert.match(pdf.headers()['content-disposition'], /^inline/);
  assert.equal((await pdf.body()).subarray(0, 5).toString(), '%PDF-');

  await page.goto(`${server.url}/master?kind=customers&search=1002`);
  await page.locator('table.master', { hasText: 'Comune di Borgo San Vitale' }).waitFor();
  await shoot(page, 'master');

  // In Italian for a browser that asks for it; the error log's texts stay as they are.
  const italian = await browser.newContext({ locale: 'it-IT', extraHTTPHeaders: { 'Accept-Language': 'it-IT,it;q=0.9' } });
  const pagina = await italian.newPage();
  await pagina.goto(`${server.url}/chains?which=all`);
  await pagina.getByRole('button', { name: 'Elabora la selezione' }).waitFor();
  await italian.close();
  await context.close();
});

test('two browser sessions keep their own selections, and a request without its form token changes nothing', async () => {
  const first = await browser.newContext();
  const second = await browser.newContext();
  const a = await first.newPage();
  const b = await second.newPage();
  const box = (page, order) => page.locator('tbody.chain', { hasText: order }).getByRole('checkbox');
  await a.goto(`${server.url}/chains?which=all`);
  // With a's cookie but without its token, or with a made-up one: refused, and nothing selected.
  const without = await first.request.post(`${server.url}/select`, { form: { action: 'all', shown: '5' } });
  assert.equal(without.status(), 403);
  const wrong = await first.request.post(`${server.url}/fetch`, { form: { csrf: 'f'.repeat(64) } });
  assert.equal(wrong.status(), 403);
  await a.reload();
  assert.match(await a.locator('#selected-count').innerText(), /^0 /);

  await b.goto(`${server.url}/chains?which=all`);
  await box(a, 'ORD/2024/00512').check();
  await a.locator('#selected-count', { hasText: /^1 / }).waitFor();
  await box(b, '2024-FAR-0397').check();
  await b.getByRole('button', { name: 'Invert' }).click();
  await a.reload();
  await b.reload();
  assert.equal(await box(a, 'ORD/2024/00512').isChecked(), true);
  assert.equal(await box(a, '2024-FAR-0397').isChecked(), false);
  // b ticked 2024-FAR-0397 and then inverted: every chain but that one.
  assert.equal(await box(b, '2024-FAR-0397').isChecked(), false);
  assert.equal(await box(b, 'ORD/2024/00512').isChecked(), true);
  await first.close();
  await second.close();
});

test('beyond loopback a clerk logs in first', async () => {
  const folder = makeFolder();
  run(folder, ['user', 'add', 'anna'], 'a long secret\n');
  // 127.0.0.2 is loopback traffic, but not this machine's own loopback address: login is asked.
  const guarded = await serve(folder, '127.0.0.2');
  try {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(`${guarded.url}/chains`);
    await page.waitForURL(/\/login$/);
    await shoot(page, 'login');
    await page.getByLabel('User').fill('anna');
    await page.getByLabel('Password').fill('wrong password');
    await page.getByRole('button', { name: 'Log in' }).click();
    await page.getByText('Unknown user or wrong password.').waitFor();
    await page.getByLabel('User').fill('anna');
    await page.getByLabel('Password').fill('a long secret');
    await page.getByRole('button', { name: 'Log in' }).click();
    await page.waitForURL(/\/chains$/);
    await page.locator('header .user', { hasText: 'anna' }).waitFor();
    await context.close();
  } finally {
    await guarded.stop();
  }
});
