// Debian's Chromium driven by the pinned puppeteer-core, never a browser of
// its own; screenshots go to the build's e2e-artefacts/ or $TASKORY_ARTEFACTS.
import { mkdirSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import puppeteer from "puppeteer-core";
import { binary } from "./rpc.mjs";

const artefacts = process.env.TASKORY_ARTEFACTS ?? join(resolve(dirname(binary), ".."), "e2e-artefacts");
mkdirSync(artefacts, { recursive: true });
export const shot = (page, name, options = {}) => page.screenshot({ path: join(artefacts, `${name}.png`), ...options });

export const launchChromium = () => puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"] });

// Calls `probe` every 50 ms until `done` holds for its value or `ms` have
// passed; resolves with the last value.
export async function poll(probe, done = Boolean, ms = 3000) {
  const t0 = Date.now();
  let value = await probe();
  while (!done(value) && Date.now() - t0 < ms) {
    await new Promise((r) => setTimeout(r, 50));
    value = await probe();
  }
  return value;
}
