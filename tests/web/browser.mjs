// Debian's chromium, headless, driven by playwright-core: never a browser of Playwright's own.
import { chromium } from 'playwright-core';
import { mkdirSync } from 'node:fs';
import path from 'node:path';

export const artefacts = process.env.WEB_ARTEFACTS || path.resolve('screenshots');
mkdirSync(artefacts, { recursive: true });

export function launch() {
  const args = ['--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'];
  if (process.getuid && process.getuid() === 0) {
    args.push('--no-sandbox');
  }
  // Playwright starts the browser on a fresh profile folder of its own (--user-data-dir).
  return chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args, timeout: 20000 });
}

export async function shoot(page, name) {
  await page.screenshot({ path: path.join(artefacts, `${name}.png`), fullPage: true });
}
