// A person's changes on the board page, with and without JavaScript; a change another program made
// in between is shown, not overwritten; a forged change request changes nothing. The store is
// checked after each, with the author "app" of the page's transactions.
import { tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";
import { startHttp, raw, boardAddress, callTool } from "./lib/http.mjs";
import { launchChromium, poll, shot } from "./lib/browser.mjs";

const t = tempHome();
const server = await startHttp(t);
const { url: boardURL } = await boardAddress(server);
const origin = `http://127.0.0.1:${server.port}`;
const call = (name, args) => callTool(server, name, args);
await call("create_plan", { title: "Haushalt" });
await call("create_bucket", { plan: "Haushalt", name: "Später" });
await call("create_card", { title: "Fenster putzen", plan: "Haushalt", checklist: ["Küche", "Bad"], labels: ["Rot"] });
const cardID = () => sqlite(t.store, "SELECT id FROM Card WHERE title LIKE 'Fenster%';");
// The author of the newest transaction that touched a card titled `title`.
const authorOf = (title) => sqlite(t.store, `SELECT t.author FROM StoreTransaction t JOIN StoreChange c ON c.txn = t.id
  JOIN Card ON Card.id = c.entityID AND c.entity = 'Card' WHERE Card.title = '${title}' ORDER BY t.id DESC LIMIT 1;`);
const storeDump = () => sqlite(t.store, ".dump");

const browser = await launchChromium();
const page = await browser.newPage();
await page.setViewport({ width: 1280, height: 900 });
page.on("dialog", (d) => d.accept());
await page.goto(boardURL, { waitUntil: "load" });
const waitFor = async (what, predicate) => expect(await poll(predicate), `${what}: not within 3 s`);

await run([
  ["quick add with the script: Enter saves, the card is at the end of its bucket and the field stays open", async () => {
    await page.click(".col:first-of-type details.add summary");
    await page.type(".col:first-of-type details.add input[name=title]", "Müll rausbringen");
    await page.keyboard.press("Enter");
    await waitFor("the new card", async () => (await page.$$eval(".col:first-of-type .card a.t", (els) => els.map((e) => e.textContent))).at(-1) === "Müll rausbringen");
    expect(await page.$eval(".col:first-of-type details.add", (d) => d.open), "the field closed");
    expectEqual(await page.evaluate(() => document.activeElement.name), "title", "focus after adding");
    await shot(page, "edit-quick-add-1280x900");
    await page.keyboard.press("Escape");
    expect(!(await page.$eval(".col:first-of-type details.add", (d) => d.open)), "Escape did not close the field");
    expectEqual(authorOf("Müll rausbringen"), "app", "author");
    expect((await call("list_cards", { plan: "Haushalt" })).includes("Müll rausbringen"), "list_cards");
  }],

  ["the card's form saves title, priority and due date; the checklist ticks at once and takes a new item", async () => {
    await page.goto(`${origin}/card/${cardID()}`, { waitUntil: "load" });
    await page.$eval("form[aria-label='Karte bearbeiten'] input[name=title]", (e) => { e.value = ""; });
    await page.type("form[aria-label='Karte bearbeiten'] input[name=title]", "Fenster putzen innen");
    await page.select("select[name=priority]", "urgent");
    await page.$eval("input[name=due]", (e) => { e.value = "2030-05-06"; });
    await page.click("form[aria-label='Karte bearbeiten'] button[type=submit]");
    await waitFor("the saved title", async () => (await page.$eval("h1", (e) => e.textContent)) === "Fenster putzen innen");
    expectEqual(sqlite(t.store, "SELECT priorityRaw, date(dueDate, 'unixepoch', 'localtime') FROM Card WHERE title = 'Fenster putzen innen';"),
      "1|2030-05-06", "priority and due date");
    await page.$eval("#live", (e) => { e.textContent = ""; });
    await page.$$eval("input.tick", (els) => els.find((e) => e.parentElement.textContent.includes("Küche")).click());
    await waitFor("the tick", () => sqlite(t.store, "SELECT isChecked FROM ChecklistItem WHERE title = 'Küche';") === "1");
    // The page is swapped for the saved state once the answer is in.
    await waitFor("the answer on the page", async () => (await page.$eval("#live", (e) => e.textContent)) === "Gespeichert");
    await page.type("form[aria-label='Neuer Punkt'] input[name=title]", "Fensterbank");
    await page.click("form[aria-label='Neuer Punkt'] button");
    await waitFor("the new item", () => sqlite(t.store, "SELECT count(*) FROM ChecklistItem WHERE title = 'Fensterbank';") === "1");
    expectEqual(authorOf("Fenster putzen innen"), "app", "author");
    const history = await page.$eval("ul.history", (e) => e.innerText);
    await shot(page, "edit-card-1280x900", { fullPage: true });
    expect(/Board · geändert/.test(history) && /Assistent · angelegt/.test(history), `Verlauf: ${history}`);
  }],

  ["a field another program changed since the page was shown is not overwritten; the others are saved", async () => {
    await page.goto(`${origin}/card/${cardID()}`, { waitUntil: "load" });
    await call("update_card", { card_id: cardID(), title: "Fenster putzen (Assistent)" });
    await page.$eval("form[aria-label='Karte bearbeiten'] input[name=title]", (e) => { e.value = "Fenster putzen (ich)"; });
    await page.$eval("form[aria-label='Karte bearbeiten'] textarea[name=notes]", (e) => { e.value = "Leiter holen"; });
    await page.click("form[aria-label='Karte bearbeiten'] button[type=submit]");
    await waitFor("the conflict page", async () => (await page.$eval("h1", (e) => e.textContent)) === "Die Karte wurde inzwischen geändert");
    const table = await page.$eval("main table", (e) => e.innerText);
    await shot(page, "edit-conflict-1280x900");
    expect(table.includes("Fenster putzen (ich)") && table.includes("Fenster putzen (Assistent)"), table);
    expectEqual(sqlite(t.store, `SELECT title, notes FROM Card WHERE id = '${cardID()}';`), "Fenster putzen (Assistent)|Leiter holen", "stored");
    await Promise.all([page.waitForNavigation({ waitUntil: "load" }), page.click("main form button[type=submit]")]);
    await waitFor("mine taken", () => sqlite(t.store, `SELECT title FROM Card WHERE id = '${cardID()}';`) === "Fenster putzen (ich)");
  }],

  ["without the script every change is a form post and a redirect", async () => {
    const still = await browser.newPage();
    await still.setJavaScriptEnabled(false);
    await still.goto(`${origin}/card/${cardID()}`, { waitUntil: "load" });
    await still.$eval("form[aria-label='Karte bearbeiten'] input[name=title]", (e) => { e.value = "Fenster (ohne Skript)"; });
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("form[aria-label='Karte bearbeiten'] button[type=submit]")]);
    expectEqual(await still.$eval("h1", (e) => e.textContent), "Fenster (ohne Skript)", "after the redirect");
    await still.$$eval("input.tick", (els) => els.find((e) => e.parentElement.textContent.includes("Bad")).click());
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("form[aria-label=Checkliste] button")]);
    expectEqual(sqlite(t.store, "SELECT isChecked FROM ChecklistItem WHERE title = 'Bad';"), "1", "ticked without script");
    await still.goto(`${origin}/`, { waitUntil: "load" });
    await still.click(".col:first-of-type details.add summary");
    await still.type(".col:first-of-type details.add input[name=title]", "Ohne Skript angelegt");
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.keyboard.press("Enter")]);
    expect((await still.$$eval(".card a.t", (els) => els.map((e) => e.textContent))).includes("Ohne Skript angelegt"), "quick add without script");
    const plain = sqlite(t.store, "SELECT id FROM Card WHERE title = 'Ohne Skript angelegt';");
    // A label by its checkbox, then Erledigt, then Löschen with its question.
    await still.goto(`${origin}/card/${plain}`, { waitUntil: "load" });
    await still.$$eval("input[name=label]", (els) => els.find((e) => e.value === "Blau").click());
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("form[aria-label='Karte bearbeiten'] button[type=submit]")]);
    expect((await call("get_card", { card_id: plain })).includes("Blau"), "label without script");
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("form[action$='/complete'] button")]);
    expectEqual(sqlite(t.store, `SELECT percentComplete FROM Card WHERE id = '${plain}';`), "100", "completed without script");
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("form[action$='/delete'] button")]);
    expect((await still.$eval("main", (e) => e.innerText)).includes("0 Checklisten-Punkte und 0 Anhänge"), "the question");
    expectEqual(sqlite(t.store, `SELECT count(*) FROM Card WHERE id = '${plain}';`), "1", "nothing deleted before the answer");
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("main form button[type=submit]")]);
    expectEqual(sqlite(t.store, `SELECT count(*) FROM Card WHERE id = '${plain}';`), "0", "deleted without script");
    // A bucket without the script.
    await still.$eval("details.manage", (d) => { d.open = true; });
    await still.type("form[aria-label='Bucket anlegen'] input[name=name]", "Ohne Skript");
    await Promise.all([still.waitForNavigation({ waitUntil: "load" }), still.click("form[aria-label='Bucket anlegen'] button")]);
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Bucket WHERE name = 'Ohne Skript';"), "1", "bucket without script");
    await still.close();
  }],

  ["cards move by drag and drop between buckets and by Nach oben / Nach unten within one", async () => {
    await call("create_card", { title: "Erste", plan: "Haushalt", bucket: "Später" });
    await call("create_card", { title: "Zweite", plan: "Haushalt", bucket: "Später" });
    await page.goto(`${origin}/`, { waitUntil: "load" });
    const titles = (bucket) => page.$$eval(`.col[data-bucket] h2`, (hs, name) => {
      const col = hs.find((h) => h.firstChild.textContent.trim() === name).closest(".col");
      return [...col.querySelectorAll(".card a.t")].map((a) => a.textContent);
    }, bucket);
    const dragged = await page.$$eval(".card a.t", (els) => els.find((e) => e.textContent === "Müll rausbringen").closest(".card").dataset.id);
    const source = await page.$(`.card[data-id="${dragged}"]`);
    const target = await page.$$(".col[data-bucket]").then((cols) => cols[1]);
    await page.setDragInterception(true);
    await source.dragAndDrop(target);
    await page.setDragInterception(false);
    await waitFor("the dropped card", async () => (await titles("Später")).includes("Müll rausbringen"));
    expectEqual(sqlite(t.store, `SELECT b.name FROM Card c JOIN Bucket b ON b.id = c.bucket WHERE c.id = '${dragged}';`), "Später", "its bucket");
    expectEqual(authorOf("Müll rausbringen"), "app", "author");
    const order = () => sqlite(t.store, "SELECT group_concat(title, ',') FROM (SELECT c.title FROM Card c JOIN Bucket b ON b.id = c.bucket WHERE b.name = 'Später' ORDER BY c.sortOrder);");
    const start = order().split(",");
    const second = start[1];
    await page.goto(`${origin}/card/${sqlite(t.store, `SELECT id FROM Card WHERE title = '${second}';`)}`, { waitUntil: "load" });
    await page.$eval("#live", (e) => { e.textContent = ""; });
    await page.$$eval("form[action$='/move'] button", (bs) => bs.find((b) => b.textContent === "Nach oben").click());
    await waitFor("moved up", () => order().split(",")[0] === second);
    // The next click waits for the page to take this answer, so that it
    // reaches the buttons the answer put in place and the two moves never
    // overlap (once under a loaded CI run the second move did not arrive).
    await waitFor("the move's answer", async () => (await page.$eval("#live", (e) => e.textContent)) === "Gespeichert");
    await page.$eval("#live", (e) => { e.textContent = ""; });
    await page.$$eval("form[action$='/move'] button", (bs) => bs.find((b) => b.textContent === "Nach unten").click());
    await waitFor("moved down", () => order().split(",")[1] === second);
    expectEqual(order().split(","), start, "back where it was");
  }],

  ["cards the assistant changed since the board was last opened carry a mark; the page's own changes none", async () => {
    await page.goto(`${origin}/`, { waitUntil: "load" });
    const marks = () => page.$$eval(".card", (cs) => cs.filter((c) => c.querySelector(".assistant"))
      .map((c) => c.querySelector("a.t").textContent));
    expectEqual(await marks(), [], "marks right after opening");
    const id = sqlite(t.store, "SELECT id FROM Card WHERE title = 'Erste';");
    await call("update_card", { card_id: id, title: "Erste (vom Assistenten)" });
    await waitFor("the mark", async () => (await marks()).includes("Erste (vom Assistenten)"));
    await page.reload({ waitUntil: "load" });
    expectEqual(await marks(), ["Erste (vom Assistenten)"], "marks on the next visit");
    await page.reload({ waitUntil: "load" });
    expectEqual(await marks(), [], "marks once it was seen");
  }],

  ["n opens a new card in the column with the focus, / the search, ? the list of shortcuts", async () => {
    await page.goto(`${origin}/`, { waitUntil: "load" });
    await page.focus(".col[data-bucket] .card a.t");
    await page.keyboard.press("n");
    expectEqual(await page.evaluate(() => [document.activeElement.name, document.activeElement.closest("details").open]), ["title", true], "n");
    await page.keyboard.press("Escape");
    await page.keyboard.press("/");
    expectEqual(await page.evaluate(() => document.activeElement.name), "q", "/");
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press("?");
    expect(await page.$eval("#keys", (e) => !e.hidden), "? shows the shortcuts");
  }],

  ["plans and buckets: new, renamed, coloured, favourite, and deleted after saying what goes with them", async () => {
    await page.goto(`${origin}/`, { waitUntil: "load" });
    const submit = async (label, fill) => {
      await page.$eval("details.manage", (d) => { d.open = true; });
      await page.$eval("#live", (e) => { e.textContent = ""; });
      await fill(`form[aria-label="${label}"]`);
      await page.click(`form[aria-label="${label}"] button[type=submit]`);
      await waitFor(label, async () => (await page.$eval("#live", (e) => e.textContent)) !== "");
    };
    await submit("Bucket anlegen", async (f) => { await page.type(`${f} input[name=name]`, "Einkauf"); await page.type(`${f} input[name=color]`, "#FF8C00"); });
    expectEqual(sqlite(t.store, "SELECT colorHex FROM Bucket WHERE name = 'Einkauf';"), "#FF8C00", "new bucket");
    await submit("Bucket Einkauf", async (f) => { await page.$eval(`${f} input[name=name]`, (e) => { e.value = "Besorgungen"; }); });
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Bucket WHERE name = 'Besorgungen';"), "1", "renamed bucket");
    await submit("Plan", async (f) => { await page.$eval(`${f} input[name=title]`, (e) => { e.value = "Haushalt 2027"; }); await page.click(`${f} input[name=favorite]`); });
    expectEqual(sqlite(t.store, "SELECT title, isFavorite FROM Plan WHERE title LIKE 'Haushalt%';"), "Haushalt 2027|1", "plan title and favourite");
    await call("create_card", { title: "Milch", plan: "Haushalt 2027", bucket: "Besorgungen" });
    await page.goto(`${origin}/`, { waitUntil: "load" });
    await submit("Bucket Besorgungen löschen", async () => {});
    const question = await page.$eval("main", (e) => e.innerText);
    expect(question.includes("Mit dem Bucket gehen 1 Karten"), question);
    await Promise.all([page.waitForNavigation({ waitUntil: "load" }), page.click("main form button[type=submit]")]);
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Bucket WHERE name = 'Besorgungen';") + sqlite(t.store, "SELECT count(*) FROM Card WHERE title = 'Milch';"), "00", "bucket and its card gone");
    await submit("Plan anlegen", async (f) => { await page.type(`${f} input[name=title]`, "Garten"); });
    expectEqual(await page.$eval("h1", (e) => e.textContent), "Garten", "the new plan is shown");
    await submit("Plan löschen", async () => {});
    await Promise.all([page.waitForNavigation({ waitUntil: "load" }), page.click("main form button[type=submit]")]);
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Plan WHERE title = 'Garten';"), "0", "plan deleted");
    expectEqual(sqlite(t.store, "SELECT author FROM StoreTransaction ORDER BY id DESC LIMIT 1;"), "app", "author of the deletion");
  }],

  ["Erledigt, Archivieren and Löschen (asked first) do what the tools do", async () => {
    const id = cardID();
    await page.goto(`${origin}/card/${id}`, { waitUntil: "load" });
    await page.click("form[action$='/complete'] button");
    await waitFor("completed", () => sqlite(t.store, `SELECT percentComplete FROM Card WHERE id = '${id}';`) === "100");
    await page.goto(`${origin}/card/${id}`, { waitUntil: "load" });
    await page.click("form[action$='/archive'] button");
    await waitFor("archived", () => sqlite(t.store, `SELECT isArchived FROM Card WHERE id = '${id}';`) === "1");
    await page.goto(`${origin}/card/${id}`, { waitUntil: "load" });
    await page.click("form[action$='/delete'] button");
    await waitFor("deleted", () => sqlite(t.store, `SELECT count(*) FROM Card WHERE id = '${id}';`) === "0");
    expectEqual(sqlite(t.store, `SELECT count(*) FROM ChecklistItem WHERE card = '${id}';`), "0", "its checklist went with it");
  }],

  ["a change request without the form token, from another origin or by GET gets 403 and changes nothing", async () => {
    const id = sqlite(t.store, "SELECT id FROM Card WHERE title = 'Müll rausbringen';");
    const cookie = (await page.cookies()).find((c) => c.name === `taskory_board_${server.port}`);
    const formToken = await page.goto(`${origin}/card/${id}`, { waitUntil: "load" })
      .then(() => page.$eval("input[name=_token]", (e) => e.value));
    const before = storeDump();
    const form = { "Content-Type": "application/x-www-form-urlencoded", Cookie: `${cookie.name}=${cookie.value}` };
    const cases = [
      ["no form token", { method: "POST", headers: { ...form, Origin: origin }, body: "title=X" }],
      ["a wrong form token", { method: "POST", headers: { ...form, Origin: origin }, body: `title=X&_token=${"0".repeat(64)}` }],
      ["a foreign origin", { method: "POST", headers: { ...form, Origin: "http://evil.example" }, body: `title=X&_token=${formToken}` }],
      ["no origin or referer", { method: "POST", headers: form, body: `title=X&_token=${formToken}` }],
      ["a GET", { method: "GET", path: `/card/${id}/delete?_token=${formToken}&confirmed=1`, headers: { Cookie: form.Cookie } }],
      ["no cookie", { method: "POST", headers: { "Content-Type": form["Content-Type"], Origin: origin }, body: `title=X&_token=${formToken}` }],
    ];
    for (const [what, request] of cases) {
      const r = await raw(server.port, { path: `/card/${id}/save`, ...request });
      expect(r.status === 403, `${what}: ${r.status} ${r.body.slice(0, 200)}`);
    }
    expectEqual(storeDump(), before, "the store after the refused requests");
    const ok = await raw(server.port, { path: `/card/${id}/save`, method: "POST", headers: { ...form, Origin: origin },
      body: `_token=${formToken}&title=Müll+runter&was_title=Müll+rausbringen` });
    expectEqual([ok.status, ok.headers.location], [303, `/card/${id}`], "the same request with everything");
    expectEqual(sqlite(t.store, `SELECT title FROM Card WHERE id = '${id}';`), "Müll runter", "saved");
  }],

  ["a failed change shows the tools' message and changes nothing", async () => {
    const id = sqlite(t.store, "SELECT id FROM Card WHERE title = 'Müll runter';");
    await page.goto(`${origin}/card/${id}`, { waitUntil: "load" });
    const before = storeDump();
    // A bucket that another program deleted after the page was shown.
    await page.$eval("select[name=bucket]", (e) => { e.add(new Option("Weg", "00000000-0000-4000-8000-000000000000")); e.value = "00000000-0000-4000-8000-000000000000"; });
    await page.$eval("form[aria-label='Karte bearbeiten'] input[name=title]", (e) => { e.value = "Nie gespeichert"; });
    await page.click("form[aria-label='Karte bearbeiten'] button[type=submit]");
    await waitFor("the failure", async () => (await page.$eval("h1", (e) => e.textContent)) === "Nicht gespeichert");
    expect((await page.$eval("main", (e) => e.textContent)).includes("Fehler: "), "German message");
    expectEqual(storeDump(), before, "the store after the failure");
  }],

  ["the server stops cleanly", async () => {
    await browser.close();
    expectEqual(await server.stop(), { code: 0, signal: null }, "exit status");
    t.remove();
  }],
], 120_000);
