// Starts nso serve on a fresh folder of its own (database with the demo master data, an inbox of
// the example orders plus one whose buyer name is markup) and stops it; loopback only.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, cpSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

export const nso = process.env.NSO_BINARY;
export const sourceDir = process.env.KVAD_SOURCE_DIR;
if (!nso || !sourceDir) {
  throw new Error('NSO_BINARY and KVAD_SOURCE_DIR must name the built nso and the source tree (ctest sets them)');
}

export const hostileBuyer = '<script>window.pwned = 1</script>';

const folders = [];

/** A folder with a database set up for the demo company and its inbox (removed by removeFolders). */
export function makeFolder() {
  const folder = mkdtempSync(path.join(tmpdir(), 'nso-web-'));
  folders.push(folder);
  const inbox = path.join(folder, 'inbox', 'IT01234567890');
  mkdirSync(inbox, { recursive: true });
  cpSync(path.join(sourceDir, 'examples', 'inbox', 'IT01234567890'), inbox, { recursive: true });
  // The library's order once more, under another number, its buyer named with markup.
  const library = readFileSync(path.join(inbox, 'ORD-2024-0006.xml'), 'utf8');
  writeFileSync(path.join(inbox, 'ORD-2024-0099.xml'), library
    .replace('<cbc:ID>BIB-7/2024</cbc:ID>', '<cbc:ID>EVIL-1/2024</cbc:ID>')
    .replace('<cbc:Name>Biblioteca comunale di Borgo San Vitale</cbc:Name>',
      '<cbc:Name>&lt;script&gt;window.pwned = 1&lt;/script&gt;</cbc:Name>'));
  run(folder, ['init', '--demo']);
  return folder;
}

export function removeFolders() {
  for (const folder of folders.splice(0)) {
    rmSync(folder, { recursive: true, force: true });
  }
}

export function run(folder, args, input) {
  return execFileSync(nso, globalOptions(folder).concat(args), { cwd: folder, input, encoding: 'utf8' });
}

function globalOptions(folder) {
  return ['--db', path.join(folder, 'nso.db'), '--inbox', path.join(folder, 'inbox'),
    '--cache-dir', path.join(folder, 'cache')];
}

/** Starts nso serve on `address` (any free port) and resolves with its base URL and a stop. */
export function serve(folder, address, extra = []) {
  const child = spawn(nso, globalOptions(folder).concat(['serve', '--listen', `${address}:0`], extra),
    { cwd: folder, stdio: ['ignore', 'pipe', 'pipe'] });
  return new Promise((resolve, reject) => {
    let said = '';
    const timer = setTimeout(() => { child.kill('SIGKILL'); reject(new Error(`nso serve did not start: ${said}`)); }, 10000);
    const listen = (chunk) => {
      said += chunk;
      const found = said.match(/listening on (http:\/\/\S+?)\/[ ;]/);
      if (found) {
        clearTimeout(timer);
        resolve({
          url: found[1],
          stop: () => new Promise((done) => { child.once('exit', done); child.kill('SIGTERM'); }),
        });
      }
    };
    child.stdout.on('data', listen);
    child.stderr.on('data', listen);
    child.once('exit', (code) => { clearTimeout(timer); reject(new Error(`nso serve ended (${code}): ${said}`)); });
  });
}
