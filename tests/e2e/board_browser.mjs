// The board page in a real browser: the board address and its cookie, live updates from the MCP
// endpoint and from a foreign SQLite writer, the week view, the layout, accessibility and the page
// without JavaScript. What the page holds is BoardPageTests'.
import { renameSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { createRequire } from "node:module";
import { tempHome, sqlite, sqlString, run, expect, expectEqual } from "./lib/rpc.mjs";
import { startHttp, raw, boardAddress, callTool } from "./lib/http.mjs";
import { launchChromium, poll, shot } from "./lib/browser.mjs";

const axePath = createRequire(import.meta.url).resolve("axe-core/axe.min.js");
const t = tempHome();
const server = await startHttp(t);
const { url: boardURL, key } = await boardAddress(server);
const { token } = server;
const origin = `http://127.0.0.1:${server.port}`;
const tool = (name, args) => callTool(server, name, args);
const day = (offset) => new Date(Date.now() + offset * 86_400_000).toLocaleDateString("sv-SE", { timeZone: "Europe/Berlin" });
await tool("create_plan", { title: "Umzug" });
await tool("create_card", { title: "Kartons besorgen", plan: "Umzug", due_date: day(-1), checklist: ["Baumarkt", "Supermarkt"] });
await tool("create_card", { title: "Nachsendeauftrag", plan: "Umzug", priority: "urgent" });
await tool("create_card", { title: "<script>alert(1)</script> Schlüssel", plan: "Umzug", due_date: day(2) });
await tool("create_bucket", { plan: "Umzug", name: "In Arbeit", color_hex: "#0078D4" });
await tool("create_bucket", { plan: "Umzug", name: "Warten auf andere" });
await tool("create_goal", { plan: "Umzug", title: "Einzug fertig", target_date: day(20) });
await tool("create_card", { title: "Küche abbauen", plan: "Umzug", bucket: "In Arbeit", priority: "important",
  labels: ["Rot", "Blau"], goals: ["Einzug fertig"], checklist: ["Schränke", "Herd", "Spüle"], due_date: day(5) });
await tool("create_card", { title: "Müll rausbringen", plan: "Umzug", bucket: "In Arbeit", due_date: day(1),
  recurrence: { frequency: "weekly", interval: 1 }, labels: ["Grün"] });
await tool("create_card", { title: "Zählerstände an Vermieter", plan: "Umzug", bucket: "Warten auf andere", priority: "low", goals: ["Einzug fertig"] });

const browser = await launchChromium();
const page = await browser.newPage();
await page.setViewport({ width: 1280, height: 800 });
const dialogs = [];
page.on("dialog", (d) => { dialogs.push(d.message()); d.dismiss(); });
const cardTitles = () => page.$$eval(".card .t", (els) => els.map((e) => e.textContent));
const banner = () => page.$eval("#stale", (e) => (e.hidden ? "" : e.textContent));
// Resolves when `predicate(titles)` holds within 2 s, without a page load.
async function showsWithin2s(what, predicate) {
  await page.evaluate(() => { window.__samePage = true; });
  const titles = await poll(cardTitles, predicate, 2000);
  expect(predicate(titles), `${what}: not on the page within 2 s; it shows ${JSON.stringify(titles)}`);
  expect(await page.evaluate(() => window.__samePage === true), `${what}: the page was reloaded`);
}

await run([
  ["the board address opens the board, drops the key and sets a strict HttpOnly cookie", async () => {
    await page.goto(boardURL, { waitUntil: "load" });
    expectEqual(page.url(), `${origin}/`, "address after opening");
    const cookies = await page.cookies();
    const session = cookies.find((c) => c.name === `taskory_board_${server.port}`);
    expect(session, `no session cookie among ${JSON.stringify(cookies)}`);
    expectEqual([session.httpOnly, session.sameSite, session.path], [true, "Strict", "/"], "cookie attributes");
    expect(!session.value.includes(token), "the cookie holds the token itself");
    expectEqual(await page.$eval("h1", (e) => e.textContent), "Umzug", "plan heading");
    const kitchen = await page.$$eval(".card", (els) => els.find((e) => e.textContent.includes("Küche")).innerText);
    for (const part of ["Wichtig", "Nicht begonnen", "0/3", "Rot", "Blau", "Ziele: Einzug fertig", day(5).split("-").reverse().join(".")])
      expect(kitchen.includes(part), `Küche abbauen lacks ${part}: ${kitchen}`);
    expect(await page.$$eval(".card .rep", (els) => els.length) === 1, "repeating mark");
    expectEqual(dialogs, [], "script in a card title ran");
    expectEqual(await page.$$eval(".card.is-late .t", (els) => els.map((e) => e.textContent)), ["Kartons besorgen"], "cards marked late");
  }],

  ["a card created and one completed through /mcp appear within 2 s without a reload", async () => {
    await tool("create_card", { title: "Per MCP angelegt", plan: "Umzug" });
    const line = (await tool("list_cards", { plan: "Umzug" })).split("\n").find((l) => l.includes("Nachsendeauftrag"));
    await tool("update_card", { card_id: line.split(" · ")[0], status: "completed" });
    await showsWithin2s("MCP changes", (titles) => titles.includes("Per MCP angelegt") && !titles.includes("Nachsendeauftrag"));
  }],

  ["a foreign SQLite writer's new and completed cards appear within 2 s without a reload", async () => {
    const [plan, bucket] = sqlite(t.store, "SELECT plan, bucket FROM Card WHERE title = 'Kartons besorgen';").split("|").map(sqlString);
    const now = Date.now() / 1000;
    sqlite(t.store, `INSERT INTO Card (id, title, sortOrder, createdAt, modifiedAt, plan, bucket)
      VALUES ('7E57CA5D-0000-4000-8000-000000000001', 'Von sqlite3', 1e9, ${now}, ${now}, ${plan}, ${bucket});
      UPDATE Card SET percentComplete = 100, completedAt = ${now} WHERE title = 'Kartons besorgen';`);
    await showsWithin2s("foreign changes", (titles) => titles.includes("Von sqlite3") && !titles.includes("Kartons besorgen"));
  }],

  ["screenshots at 1280×800 and 390×844", async () => {
    await shot(page, "board-1280x800");
    await page.setViewport({ width: 390, height: 844 });
    await shot(page, "board-390x844");
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    expect(overflow <= 0, `the phone-width page scrolls sideways by ${overflow} px`);
    await page.setViewport({ width: 1280, height: 800 });
    await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "dark" }]);
    expectEqual(await page.evaluate(() => getComputedStyle(document.body).backgroundColor), "rgb(21, 24, 29)", "dark scheme background");
    await shot(page, "board-dark-1280x800");
    await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "light" }]);
  }],

  ["the week view shows the week plan_week planned, on its days", async () => {
    await tool("create_card", { title: "Strom ummelden", plan: "Umzug", priority: "urgent" });
    await tool("create_card", { title: "Kisten packen", plan: "Umzug", priority: "important" });
    // Without the weekend, as the page's week: from Saturday on both are next week.
    const text = await tool("plan_week", {});
    const planned = [];
    let label;
    for (const line of text.split("\n").slice(1)) {
      if (!line.startsWith("  ")) label = line.replace(/:$/, "");
      else planned.push([label, line.trim().split(" · ")[1]]);
    }
    expect(planned.length >= 2, `plan_week planned ${text}`);
    await page.goto(`${origin}/?view=week`, { waitUntil: "load" });
    const shown = await page.$$eval(".col", (cols) => cols.flatMap((c) => [...c.querySelectorAll(".card .t")]
      .map((t) => [c.querySelector("h2").firstChild.textContent.replace(" (heute)", "").trim(), t.textContent])));
    expectEqual(shown.sort(), planned.sort(), "cards per day");
    const weekday = new Date().toLocaleDateString("en-GB", { weekday: "short", timeZone: "Europe/Berlin" });
    expectEqual(Boolean(await page.$(".col.today")), !["Sat", "Sun"].includes(weekday), `today's column on a ${weekday}`);
    const rightEdges = await page.$$eval(".week .col", (cols) => cols.map((c) => Math.round(c.getBoundingClientRect().right)));
    expect(rightEdges.length === 7 && Math.max(...rightEdges) <= 1280, `the week's days end at ${rightEdges}`);
    await shot(page, "week-1280x800");
    await page.click("nav[aria-label=Wochen] a:last-child");
    expect((await page.$eval("h1", (e) => e.textContent)).startsWith("Woche "), "next week's heading");
    expect(page.url().includes("&week="), `next week's address: ${page.url()}`);
  }],

  ["a card's title opens its page", async () => {
    await page.goto(`${origin}/`, { waitUntil: "load" });
    await Promise.all([page.waitForNavigation({ waitUntil: "load" }),
      page.$$eval(".card a.t", (els) => els.find((e) => e.textContent === "Küche abbauen").click())]);
    expect(/\/card\/[0-9A-F-]{36}$/.test(page.url()), `card address: ${page.url()}`);
    expectEqual(await page.$eval("h1", (e) => e.textContent), "Küche abbauen", "the card page's heading");
    await shot(page, "card-1280x800");
    const missing = await raw(server.port, { method: "GET", path: "/card/nichts", headers: { Authorization: `Bearer ${token}` } });
    expectEqual([missing.status, missing.headers["content-type"]], [404, "text/html; charset=utf-8"], "an unknown card");
  }],

  ["a live swap keeps the columns' scroll and the focus, and says so", async () => {
    await page.setViewport({ width: 700, height: 800 });
    await page.goto(`${origin}/`, { waitUntil: "load" });
    await page.$eval(".cols", (c) => { c.scrollLeft = 300; });
    const before = await page.$eval(".cols", (c) => c.scrollLeft);
    expect(before > 0, "the columns scroll sideways at 700 px");
    await page.$$eval(".card a.t", (els) => els.find((e) => e.textContent === "Zählerstände an Vermieter").focus());
    await tool("create_card", { title: "Während des Scrollens", plan: "Umzug" });
    await showsWithin2s("the swap", (titles) => titles.includes("Während des Scrollens"));
    expectEqual(await page.$eval(".cols", (c) => c.scrollLeft), before, "columns' scroll after the swap");
    expectEqual(await page.evaluate(() => document.activeElement.textContent), "Zählerstände an Vermieter", "focus after the swap");
    expectEqual(await page.$eval("#live", (e) => e.textContent), "Aktualisiert", "live region");
    await page.setViewport({ width: 1280, height: 800 });
  }],

  ["the plan picker moves its choice on arrow keys and letters and opens a plan on its button only", async () => {
    for (const title of ["Auto", "Balkon", "Garten", "Keller", "Steuer", "Urlaub"]) await tool("create_plan", { title });
    sqlite(t.store, "UPDATE Plan SET isFavorite = 1 WHERE title = 'Urlaub';");
    await page.goto(`${origin}/`, { waitUntil: "load" });
    const address = page.url();
    await page.focus("select[name=plan]");
    await page.keyboard.press("ArrowDown");
    await page.keyboard.type("u");
    await new Promise((r) => setTimeout(r, 300));
    expectEqual(page.url(), address, "address after keys");
    expectEqual(await page.$eval("select[name=plan]", (e) => e.selectedOptions[0].textContent), "Urlaub", "a typed letter finds the favourite");
    await Promise.all([page.waitForNavigation({ waitUntil: "load" }), page.click("nav[aria-label=Pläne] button")]);
    expectEqual(await page.$eval("h1", (e) => e.textContent), "Urlaub", "the plan opened on the button");
  }],

  ["axe-core finds no serious or critical violation on any view, light or dark", async () => {
    await page.goto(`${origin}/`, { waitUntil: "load" });
    const cardPath = await page.$$eval(".card a.t", (els) => els[0].getAttribute("href"));
    const found = [];
    for (const scheme of ["light", "dark"]) {
      await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: scheme }]);
      for (const path of ["/", "/?view=week", "/?view=today", "/?view=goals", cardPath]) {
        await page.goto(`${origin}${path}`, { waitUntil: "load" });
        await page.addScriptTag({ path: axePath });
        const violations = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ["violations"] }))
          .violations.filter((v) => v.impact === "serious" || v.impact === "critical")
          .map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(" ")).join(", ")}`));
        found.push(...violations.map((v) => `${scheme} ${path} ${v}`));
      }
    }
    await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "light" }]);
    expectEqual(found, [], "axe violations");
  }],

  ["Chromium gets the page gzip-compressed", async () => {
    const response = await page.goto(`${origin}/`, { waitUntil: "load" });
    expectEqual(response.headers()["content-encoding"], "gzip", "content-encoding");
  }],

  ["without the cookie or key a request gets the 401 page that names the address", async () => {
    for (const path of ["/", "/changes", "/?view=week", `/?key=${key.slice(0, -1)}${key.endsWith("0") ? "1" : "0"}`]) {
      const r = await raw(server.port, { method: "GET", path });
      expectEqual([r.status, r.headers["content-type"]], [401, "text/html; charset=utf-8"], path);
      expect(r.body.includes("?key="), `401 page: ${r.body.slice(0, 200)}`);
    }
    expectEqual((await raw(server.port, { method: "GET", path: "/", headers: { Authorization: `Bearer ${token}` } })).status, 200, "bearer header");
  }],

  ["without JavaScript the board is all there", async () => {
    const still = await browser.newPage();
    await still.setJavaScriptEnabled(false);
    await still.goto(`${origin}/`, { waitUntil: "load" });
    const titles = await still.$$eval(".card .t", (els) => els.map((e) => e.textContent));
    expect(titles.includes("Von sqlite3") && titles.includes("Per MCP angelegt"), `without script: ${titles}`);
    await still.click("nav[aria-label=Erledigte] a");
    const all = await still.$$eval(".card .t", (els) => els.map((e) => e.textContent));
    expect(all.includes("Kartons besorgen") && all.includes("Nachsendeauftrag"), `completed shown: ${all}`);
    await still.close();
  }],

  ["a store file replaced under the server is announced, and its pages say so", async () => {
    await page.goto(`${origin}/`, { waitUntil: "load" });
    sqlite(t.store, `VACUUM INTO ${sqlString(t.store + ".neu")};`);
    renameSync(t.store + ".neu", t.store);
    expectEqual(await poll(banner), "Die Store-Datei wurde ersetzt – bitte den Server neu starten", "banner");
    const r = await raw(server.port, { method: "GET", path: "/", headers: { Authorization: `Bearer ${token}` } });
    expectEqual([r.status, r.headers["content-type"]], [503, "text/html; charset=utf-8"], "the board after the swap");
    expect(r.body.includes("Die Store-Datei wurde ersetzt") && !r.body.includes("jsonrpc"), r.body.slice(0, 300));
  }],

  ["a replaced token file ends the session, and the open page says so", async () => {
    writeFileSync(join(t.storeDir, "http-token.neu"), "b".repeat(64) + "\n", { mode: 0o600 });
    renameSync(join(t.storeDir, "http-token.neu"), join(t.storeDir, "http-token"));
    const shown = await poll(banner, (b) => b.startsWith("Anmeldung abgelaufen"));
    expect(shown.startsWith("Anmeldung abgelaufen"), `banner: ${shown}`);
  }],

  ["the server stops cleanly with the page open, which then says the connection is lost", async () => {
    expectEqual(await server.stop(), { code: 0, signal: null }, "exit status");
    expectEqual(await poll(banner, (b) => b.startsWith("Verbindung verloren")), "Verbindung verloren – die Ansicht ist nicht aktuell", "banner");
    await browser.close();
    t.remove();
  }],
], 120_000);
