// browser.mjs: the page in one of Debian's browser engines at one width, behind the few calls its
// tests make: Chromium and Firefox through playwright-core, WebKit's MiniBrowser through
// WebKitWebDriver. Each is the build's path to Debian's own; none is ever downloaded.
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { chromium, firefox } from 'playwright-core';
import { Builder, By, Key } from 'selenium-webdriver';
import { findFreePort } from 'selenium-webdriver/net/portprober.js';
import { DriverService } from 'selenium-webdriver/remote/index.js';

// `init` runs in each page before the page's own script, where the engine allows it (WebDriver
// does not).
export async function launch(engine, width, executablePath, { scratch, init }) {
  if (engine === 'webkit') return webkit(width, executablePath, scratch);
  const args = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--disable-background-networking'];
  const browser =
    engine === 'chromium'
      ? await chromium.launch({ executablePath, args })
      : await firefox.launch({ executablePath, channel: 'moz-firefox' });
  // At a phone's width Chromium is a phone: touch, and its pixel ratio.
  const phone =
    engine === 'chromium' && width < 600 ? { isMobile: true, hasTouch: true, deviceScaleFactor: 3 } : {};
  const context = await browser.newContext({ viewport: { width, height: 800 }, ...phone });
  await context.addInitScript(init);
  const page = await context.newPage();
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  return {
    requests,
    open: (url) => page.goto(url),
    run: (fn, arg) => page.evaluate(fn, arg),
    pick: (id, path) => page.setInputFiles(`#${id}`, path),
    type: (id, text) => page.fill(`#${id}`, text),
    click: (id) => page.click(`#${id}`),
    // Chromium's own download can be seen; Firefox fires no download event for a Blob's link.
    download:
      engine === 'chromium' &&
      (async (id) => {
        const [download] = await Promise.all([page.waitForEvent('download'), page.click(`#${id}`)]);
        return { name: download.suggestedFilename(), path: await download.path() };
      }),
    close: () => browser.close(),
  };
}

async function webkit(width, binary, scratch) {
  // MiniBrowser's toolbar holds its window at 447 px or wider; GTK's style lets it shrink.
  mkdirSync(join(scratch, 'gtk-3.0'));
  writeFileSync(join(scratch, 'gtk-3.0', 'gtk.css'), '* { min-width: 0; padding: 0; margin: 0; }\n');
  const port = await findFreePort();
  const env = { ...process.env, XDG_CONFIG_HOME: scratch };
  const service = new DriverService(process.env.VELMORA_WEBDRIVER, {
    port,
    args: [`--port=${port}`],
    loopback: true,
    env,
  });
  const capabilities = {
    browserName: 'MiniBrowser',
    'webkitgtk:browserOptions': { binary, args: ['--automation'] },
  };
  const driver = await new Builder()
    .usingServer(await service.start())
    .withCapabilities(capabilities)
    .build();
  const run = (fn, arg) => driver.executeScript(`return (${fn})(arguments[0])`, arg);
  await driver.manage().window().setRect({ width, height: 800 });
  await driver.wait(async () => (await run(() => innerWidth)) === width, 5000);
  const element = (id) => driver.findElement(By.id(id));
  return {
    open: (url) => driver.get(url),
    run,
    pick: (id, path) => element(id).sendKeys(path),
    // Typing over the selection, as a user replaces a name.
    type: async (id, text) => {
      await run((field) => document.getElementById(field).select(), id);
      await element(id).sendKeys(text || Key.BACK_SPACE);
    },
    click: (id) => element(id).click(),
    close: async () => {
      await driver.quit();
      await service.kill();
    },
  };
}
