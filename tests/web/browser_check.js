// The page in a real browser: Debian's Chromium, headless, driven over its
// DevTools protocol on a pipe, served from the unzipped folder by a static
// server of the check's own.
//
//   node tests/web/browser_check.js PAGE_FOLDER PAD_CARTRIDGE GOLDEN_TITLE_PNG
//
// Three copies of the page are served: /game/ as unzipped; /pad/ with the
// check's cartridge (pad_cart.s) and a palette whose every colour says its
// index, so that a screenshot reads back what the emulated machine holds;
// /broken/ with a file that is no cartridge.
// Each check waits for what it checks, with room for a busy machine, never
// for a fixed time. Prints one line per check and the page's passes and
// frames per second; exits 1 when a check fails.
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const Wait = Number(process.env.WAIT || 60) * 1000;
const PollMs = 100;
const Scale = 3; // the default setting
const PictureWidth = 256;
const PictureHeight = 224;
// The overlay's heading colour (overlay/menu.cpp), as the screen shows it.
const HeadingRgb = [0x80, 0xff, 0x80];
// What the player's sound is in the page: SDL's context, once it exists.
const AudioState = "Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.state : 'none'";
const PlayerRunning = "typeof Browser != 'undefined' && Browser.mainLoop.currentFrameNumber > 10";

// ---------------------------------------------------------------------------
// Pictures: PNG files and screenshots as RGB rows

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// 8-bit RGB or RGBA, not interlaced: what Chromium and the runner write.
function decodePng(bytes) {
  let at = 8;
  let width = 0, height = 0, channels = 0;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = { 2: 3, 6: 4 }[body[9]];
      if (body[8] !== 8 || !channels || body[12] !== 0) throw new Error('unexpected PNG layout');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const rgb = Buffer.alloc(width * height * 3);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const row = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; x++) {
      const left = x >= channels ? row[x - channels] : 0;
      const up = previous[x];
      const corner = x >= channels ? previous[x - channels] : 0;
      const add = [0, left, up, (left + up) >> 1, paeth(left, up, corner)][filter];
      row[x] = (row[x] + add) & 0xff;
    }
    for (let x = 0; x < width; x++) row.copy(rgb, (y * width + x) * 3, x * channels, x * channels + 3);
    previous = row;
  }
  return { width, height, rgb };
}

function pixel(picture, x, y) {
  const at = (y * picture.width + x) * 3;
  return [picture.rgb[at], picture.rgb[at + 1], picture.rgb[at + 2]];
}

function sameRgb(a, b) {
  return a[0] === b[0] && a[1] === b[1] && a[2] === b[2];
}

// The share of the golden picture's pixels that the screenshot, taken at
// `scale` screen pixels per picture pixel, shows in the same colour.
function matchingShare(shot, golden, scale) {
  let same = 0;
  for (let y = 0; y < golden.height; y++)
    for (let x = 0; x < golden.width; x++) {
      const centre = Math.floor(scale / 2);
      if (sameRgb(pixel(shot, x * scale + centre, y * scale + centre), pixel(golden, x, y))) same++;
    }
  return same / (golden.width * golden.height);
}

// The check's palette: colour n is (4n, 255 - 4n, 37n mod 256), so that a
// pixel names its index.
function indexPalette() {
  const bytes = Buffer.alloc(64 * 3);
  for (let n = 0; n < 64; n++) bytes.set([4 * n, 255 - 4 * n, (37 * n) & 0xff], 3 * n);
  return bytes;
}

function paletteIndex(rgb) {
  const n = rgb[0] / 4;
  return Number.isInteger(n) && sameRgb(rgb, [4 * n, 255 - 4 * n, (37 * n) & 0xff]) ? n : -1;
}

// ---------------------------------------------------------------------------
// The static server, which records every request it serves

const Types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.jpg': 'image/jpeg' };

function serve(root) {
  const served = [];
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, name.endsWith('/') ? name + 'index.html' : name);
    served.push(name);
    fs.readFile(file, (error, bytes) => {
      if (error || !file.startsWith(root + path.sep)) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, { 'Content-Type': Types[path.extname(file)] || 'application/octet-stream' });
      response.end(bytes);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({ server, served })));
}

// ---------------------------------------------------------------------------
// The browser and its protocol

function launchBrowser(profile) {
  const browser = childProcess.spawn('chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--user-data-dir=' + profile, '--window-size=1280,1024', '--remote-debugging-pipe', 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'], detached: true });
  let log = '';
  browser.stderr.on('data', (chunk) => { log = (log + chunk).slice(-4000); });
  const waiting = new Map();
  const listeners = [];
  let nextId = 1;
  let pending = '';
  browser.stdio[4].on('data', (chunk) => {
    pending += chunk.toString('utf8');
    let end;
    while ((end = pending.indexOf('\0')) >= 0) {
      const message = JSON.parse(pending.slice(0, end));
      pending = pending.slice(end + 1);
      if (message.id && waiting.has(message.id)) {
        const { resolve, reject } = waiting.get(message.id);
        waiting.delete(message.id);
        if (message.error) reject(new Error(JSON.stringify(message.error)));
        else resolve(message.result);
      } else if (message.method) {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = nextId++;
    waiting.set(id, { resolve, reject });
    browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
  });
  return { process: browser, send, listen: (f) => listeners.push(f), log: () => log };
}

async function openPage(browser) {
  const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
  const send = (method, params) => browser.send(method, params, sessionId);
  const page = { send, console: [], requests: [], failures: [] };
  browser.listen((message) => {
    if (message.sessionId !== sessionId) return;
    const p = message.params;
    if (message.method === 'Runtime.consoleAPICalled')
      page.console.push({ type: p.type, text: p.args.map((a) => a.value ?? a.description).join(' ') });
    else if (message.method === 'Runtime.exceptionThrown')
      page.console.push({ type: 'error', text: p.exceptionDetails.exception?.description ?? p.exceptionDetails.text });
    else if (message.method === 'Log.entryAdded')
      page.console.push({ type: p.entry.level, text: p.entry.text + ' ' + (p.entry.url || '') });
    else if (message.method === 'Network.requestWillBeSent')
      page.requests.push(p.request.url);
    else if (message.method === 'Network.responseReceived' && p.response.status >= 400)
      page.failures.push(p.response.status + ' ' + p.response.url);
    else if (message.method === 'Network.loadingFailed')
      page.failures.push(p.errorText);
  });
  for (const domain of ['Runtime', 'Log', 'Network', 'Page']) await send(domain + '.enable');
  // A headless page has no window to hold the focus; without this it would
  // count as unfocused, which pauses the sound.
  await send('Emulation.setFocusEmulationEnabled', { enabled: true });
  return page;
}

// The value, or undefined when it throws or the document goes away under it
// (a navigation or reload cuts an evaluation off).
async function evaluate(page, expression) {
  try {
    const { result, exceptionDetails } = await page.send('Runtime.evaluate',
      { expression, awaitPromise: true, returnByValue: true });
    return exceptionDetails ? undefined : result.value;
  } catch (error) {
    return undefined;
  }
}

async function waitFor(what, test) {
  const until = Date.now() + Wait;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > until) throw new Error('gave up waiting for ' + what);
    await new Promise((resolve) => setTimeout(resolve, PollMs));
  }
}

// Navigates, or reloads without a URL, and waits for the new document's
// player: the old one answers until the new one replaces it.
async function load(page, url) {
  await evaluate(page, 'window.leftBehind = true');
  if (url) await page.send('Page.navigate', { url });
  else await page.send('Page.reload', {});
  await waitFor('the player to run', () => evaluate(page, '!window.leftBehind && ' + PlayerRunning));
}

const Keys = {
  x: ['x', 'KeyX', 88], z: ['z', 'KeyZ', 90], Enter: ['Enter', 'Enter', 13], ' ': [' ', 'Space', 32],
  ArrowUp: ['ArrowUp', 'ArrowUp', 38], ArrowDown: ['ArrowDown', 'ArrowDown', 40],
  ArrowLeft: ['ArrowLeft', 'ArrowLeft', 37], ArrowRight: ['ArrowRight', 'ArrowRight', 39],
  Escape: ['Escape', 'Escape', 27], 2: ['2', 'Digit2', 50], 3: ['3', 'Digit3', 51],
  Alt: ['Alt', 'AltLeft', 18],
};
const AltModifier = 1;

async function key(page, type, name, modifiers = 0) {
  const [keyName, code, keyCode] = Keys[name];
  await page.send('Input.dispatchKeyEvent', { type, key: keyName, code, windowsVirtualKeyCode: keyCode,
                                               nativeVirtualKeyCode: keyCode, modifiers });
}

async function press(page, name) {
  await key(page, 'keyDown', name);
  await key(page, 'keyUp', name);
}

// The canvas as the screen shows it, at one screen pixel per CSS pixel.
async function canvasShot(page) {
  const box = await evaluate(page, `(() => { const r = canvas.getBoundingClientRect();
    return { x: r.left, y: r.top, width: r.width, height: r.height }; })()`);
  const { data } = await page.send('Page.captureScreenshot',
    { format: 'png', clip: { ...box, scale: 1 }, captureBeyondViewport: false });
  return decodePng(Buffer.from(data, 'base64'));
}

async function canvasSize(page) {
  return evaluate(page, `(() => { const r = canvas.getBoundingClientRect();
    return [canvas.width, canvas.height, r.width, r.height].join('x'); })()`);
}

// The settings file as the browser's storage for the page holds it.
function storedSettings(page) {
  return evaluate(page, `new Promise((resolve) => {
    const opened = indexedDB.open('/store');
    opened.onerror = () => resolve('');
    opened.onsuccess = () => {
      const db = opened.result;
      if (!db.objectStoreNames.contains('FILE_DATA')) { db.close(); resolve(''); return; }
      const read = db.transaction('FILE_DATA').objectStore('FILE_DATA').get('/store/config.cfg');
      read.onsuccess = () => { db.close();
        resolve(read.result ? new TextDecoder().decode(read.result.contents) : ''); };
      read.onerror = () => { db.close(); resolve(''); };
    };
  })`);
}

// With HALVENOR_WEB_SHOTS set, the whole page at a moment, to look at.
async function keepShot(page, name) {
  const folder = process.env.HALVENOR_WEB_SHOTS;
  if (!folder) return;
  const { data } = await page.send('Page.captureScreenshot', { format: 'png' });
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(path.join(folder, name + '.png'), Buffer.from(data, 'base64'));
}

function countColour(picture, rgb) {
  let count = 0;
  for (let i = 0; i < picture.rgb.length; i += 3)
    if (sameRgb([picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]], rgb)) count++;
  return count;
}

// ---------------------------------------------------------------------------
// The checks

const results = [];

async function check(name, body) {
  try {
    const detail = await body();
    results.push(true);
    console.log('ok   ' + name + (detail ? ': ' + detail : ''));
  } catch (error) {
    results.push(false);
    console.log('FAIL ' + name + ': ' + error.message);
  }
}

function expect(condition, message) {
  if (!condition) throw new Error(message);
}

// The pad page's three bands (pad_cart.s), at the given scale.
async function padBands(page, scale) {
  const shot = await canvasShot(page);
  const at = (row) => paletteIndex(pixel(shot, 8 * scale, (row - 8) * scale + 1));
  const low = at(40), high = at(120), frames = at(200);
  return { byte: low < 0 || high < 0 ? -1 : ((high << 2) | low) & 0xff, frames };
}

async function main() {
  const [pageFolder, padCartridge, goldenTitle] = process.argv.slice(2);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'halvenor-web-'));
  fs.cpSync(pageFolder, path.join(work, 'game'), { recursive: true });
  fs.cpSync(pageFolder, path.join(work, 'pad'), { recursive: true });
  fs.copyFileSync(padCartridge, path.join(work, 'pad', 'game.nes'));
  fs.writeFileSync(path.join(work, 'pad', 'palette.pal'), indexPalette());
  fs.cpSync(pageFolder, path.join(work, 'broken'), { recursive: true });
  fs.writeFileSync(path.join(work, 'broken', 'game.nes'), 'not a cartridge');
  const { server, served } = await serve(work);
  const origin = 'http://127.0.0.1:' + server.address().port;
  const browser = launchBrowser(path.join(work, 'profile'));
  let failed = true;
  try {
    const page = await openPage(browser);
    const golden = decodePng(fs.readFileSync(goldenTitle));

    await check('the canvas shows the game', async () => {
      await load(page, origin + '/game/');
      let share = 0;
      await waitFor('the title picture', async () => {
        share = matchingShare(await canvasShot(page), golden, Scale);
        return share > 0.95;
      });
      await keepShot(page, 'title');
      return (100 * share).toFixed(1) + '% of the title picture\'s pixels as the runner draws them';
    });

    await check('the first key starts the sound and takes the note away', async () => {
      const before = await evaluate(page, AudioState);
      expect(before !== 'running', 'the sound ran before any gesture (' + before + ')');
      expect(await evaluate(page, '!soundNote.hidden'), 'no note before the first gesture');
      await press(page, 3); // the scale the page has already: nothing else happens
      await waitFor('the sound to run', async () => (await evaluate(page, AudioState)) === 'running');
      expect(await evaluate(page, 'soundNote.hidden'), 'the note stayed');
      return 'audio context ' + before + ', then running';
    });

    await check('"2" makes the canvas 512x448, and a reload keeps it', async () => {
      const before = await canvasSize(page);
      expect(before === '768x672x768x672', 'canvas at the default scale is ' + before);
      await press(page, 2);
      await waitFor('a 512x448 canvas', async () => (await canvasSize(page)) === '512x448x512x448');
      await waitFor('the stored scale', async () => /^Scale=2$/m.test(await storedSettings(page)));
      await load(page);
      const after = await canvasSize(page);
      expect(after === '512x448x512x448', 'after the reload the canvas is ' + after);
      return 'canvas and its box ' + after;
    });

    await check('Alt+Return asks the browser for full screen and leaves it, and the browser can too', async () => {
      // As a player presses them: held while passes run, so that the
      // player's request is made before the keys go up, and the browser
      // grants it in the handler of their release.
      const toggle = async () => {
        await key(page, 'keyDown', 'Alt');
        await key(page, 'keyDown', 'Enter', AltModifier);
        const pass = await evaluate(page, 'Browser.mainLoop.currentFrameNumber');
        await waitFor('two passes', async () =>
          (await evaluate(page, 'Browser.mainLoop.currentFrameNumber')) > pass + 1);
        await key(page, 'keyUp', 'Enter', AltModifier);
        await key(page, 'keyUp', 'Alt');
      };
      const windowAgain = async () => (await evaluate(page, 'document.fullscreenElement === null')) &&
                                      (await canvasSize(page)) === '512x448x512x448';
      await toggle();
      await waitFor('full screen', () => evaluate(page, 'document.fullscreenElement === canvas'));
      await keepShot(page, 'full-screen');
      const full = await canvasSize(page);
      await toggle();
      await waitFor('the window again', windowAgain);
      // Left by the browser, as at its Escape: the player goes back to the
      // window and stores it.
      await toggle();
      await waitFor('full screen again', () => evaluate(page, 'document.fullscreenElement === canvas'));
      await waitFor('full screen stored', async () => /^Windowed=0$/m.test(await storedSettings(page)));
      await evaluate(page, 'document.exitFullscreen()');
      await waitFor('the window after the browser left full screen', windowAgain);
      await waitFor('the window stored', async () => /^Windowed=1$/m.test(await storedSettings(page)));
      return 'full screen ' + full + ', then 512x448, by the player\'s key and by the browser';
    });

    await check('Escape opens the overlay', async () => {
      const before = countColour(await canvasShot(page), HeadingRgb);
      expect(before === 0, 'the heading colour is on the screen already');
      await press(page, 'Escape');
      let heading = 0;
      await waitFor('the overlay', async () => {
        heading = countColour(await canvasShot(page), HeadingRgb);
        return heading > 100;
      });
      await keepShot(page, 'overlay');
      return heading + ' pixels of the heading';
    });

    await check('held keys reach the controller', async () => {
      await load(page, origin + '/pad/');
      const scale = (await canvasSize(page)).startsWith('512x') ? 2 : Scale;
      const holds = [
        [['x', 'z', 'Enter', 'ArrowLeft'], 0x4b],
        [['ArrowUp', 'ArrowDown', ' ', 'ArrowRight'], 0xb4],
      ];
      const seen = [];
      await waitFor('no button', async () => (await padBands(page, scale)).byte === 0);
      for (const [names, byte] of holds) {
        for (const name of names) await key(page, 'keyDown', name);
        await waitFor('the byte ' + byte.toString(16), async () => (await padBands(page, scale)).byte === byte);
        await keepShot(page, 'pad-' + byte.toString(16));
        for (const name of names) await key(page, 'keyUp', name);
        await waitFor('no button', async () => (await padBands(page, scale)).byte === 0);
        seen.push(names.join('+') + ' = $' + byte.toString(16).toUpperCase());
      }
      return seen.join(', ');
    });

    // A figure, not a check: frames are read from the cartridge's counter
    // at intervals shorter than its 64 frames.
    const passesAt = () => evaluate(page, 'Browser.mainLoop.currentFrameNumber');
    const scale = (await canvasSize(page)).startsWith('512x') ? 2 : Scale;
    const start = Date.now();
    const firstPasses = await passesAt();
    let last = (await padBands(page, scale)).frames;
    let frames = 0;
    while (Date.now() - start < 5000) {
      await new Promise((resolve) => setTimeout(resolve, 200));
      const now = (await padBands(page, scale)).frames;
      frames += (now - last + 64) % 64;
      last = now;
    }
    const seconds = (Date.now() - start) / 1000;
    console.log('figure passes per second ' + ((await passesAt()) - firstPasses) / seconds);
    console.log('figure frames per second ' + frames / seconds);

    await check('a fatal stop shows its message in place of the canvas', async () => {
      const broken = await openPage(browser);
      await broken.send('Page.navigate', { url: origin + '/broken/' });
      const shown = await waitFor('the message', () => evaluate(broken,
        "!document.getElementById('stopped').hidden && canvas.hidden && " +
        "document.getElementById('stopped').textContent"));
      await keepShot(broken, 'stopped');
      expect(shown.trim() === 'Unable to initialize emulator', 'the page shows "' + shown + '"');
      return '"' + shown.trim() + '"';
    });

    await check('no console error, no request outside the page\'s folder', async () => {
      const errors = page.console.filter((entry) => entry.type === 'error' || entry.type === 'assert');
      expect(errors.length === 0, errors.map((entry) => entry.text).join('; '));
      const outside = page.requests.filter((url) => !url.startsWith(origin + '/game/') &&
                                                    !url.startsWith(origin + '/pad/') && !url.startsWith('data:'));
      expect(outside.length === 0, 'requests for ' + outside.join(', '));
      expect(page.failures.length === 0, 'failed requests: ' + page.failures.join(', '));
      const warnings = page.console.filter((entry) => entry.type === 'warning');
      return page.requests.length + ' requests, ' + served.length + ' served' +
             (warnings.length ? '; warnings: ' + warnings.map((entry) => entry.text).join('; ') : '');
    });
    failed = results.includes(false);
  } catch (error) {
    console.log('FAIL ' + error.message + '\n' + browser.log());
  } finally {
    // The browser and every process it started, by its group's id.
    if (browser.process.exitCode === null) {
      const ended = new Promise((resolve) => browser.process.once('exit', resolve));
      process.kill(-browser.process.pid, 'SIGKILL');
      await ended;
    }
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  process.exit(failed ? 1 : 0);
}

main();
