// Odd environments: the server starts, keeps the natural plan order and reads
// and prints dates consistently in ASCII digits, with nothing on stderr.
import { Server, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

await run([
  ["LC_ALL=C, no LANG", { LC_ALL: "C" }],
  ["LC_ALL of a locale that is not installed", { LC_ALL: "xx_YY.UTF-8" }],
  ["an empty time zone, LANG only", { TZ: "", LC_ALL: undefined, LANG: "de_DE.UTF-8" }],
  ["UTC+14", { TZ: "Pacific/Kiritimati" }],
  // Every zone form, an unknown zone and every locale with digits of its own:
  // CalendarTZ and Calendar tests; one of each here for the way in.
  ["only LC_TIME=ar_EG.UTF-8", { LC_ALL: undefined, LC_TIME: "ar_EG.UTF-8" }],
  ["a zone file path", { TZ: "/usr/share/zoneinfo/Europe/Berlin" }],
  ["working directory /", { LC_ALL: "C.UTF-8" }, "/"],
].map(([label, env, cwd]) => [label, async () => {
  const t = tempHome();
  const s = new Server(t, { env, cwd });
  for (const title of ["Plan 10", "plan 2", "Plan 1", "Ähnlich", "alpha"]) await s.ok("create_plan", { title });
  sqlite(t.store, "UPDATE Plan SET sortOrder = 1024;"); // equal sort orders leave the order to the titles
  const titles = (await s.ok("list_plans", {})).split("\n").map((l) => l.split(" · ")[1]);
  expectEqual(titles.filter((x) => /^p/i.test(x)), ["Plan 1", "plan 2", "Plan 10"], "natural plan order");
  // A summer date: a zone read as a fixed winter offset shows it at 16:00.
  const created = await s.ok("create_card", { title: "Termin", plan: "plan 2", due_date: "2035-07-01" });
  expect(created.endsWith(", fällig 2035-07-01"), `a date-only due date reads back as the same day: ${created}`);
  expect((await s.ok("list_cards", { plan: "Plan 2" })).includes("fällig 2035-07-01 ·"), "list_cards shows the same day");
  if (!("TZ" in env) || /Berlin|^CET-1CEST/.test(env.TZ)) {
    // 17:00 in Berlin's summer time: the bare date, however TZ names Berlin.
    const instant = await s.ok("create_card", { title: "Sommer", plan: "plan 2", due_date: "2035-07-01T15:00:00Z" });
    expect(instant.endsWith(", fällig 2035-07-01"), `17:00 summer time in Berlin: ${instant}`);
    expect((await s.ok("list_cards", { query: "sommer" })).includes("fällig 2035-07-01 ·"), "list_cards in summer time");
  }
  const id = created.match(/\(([0-9A-F]{8})\)/)[1];
  const card = JSON.parse(await s.ok("get_card", { card_id: id, format: "json" }));
  expect(/^\d{4}-\d\d-\d\d \d\d:\d\d$/.test(card.created_at), `created_at in ASCII digits: ${card.created_at}`);
  const week = await s.ok("plan_week", {});
  expect(/^\d+ Aufgaben eingeplant, \d+ Ideen-Aufgaben angelegt/.test(week), "plan_week");
  expect(!/[^\P{Nd}0-9]/u.test(week), `plan_week's days in ASCII digits: ${week}`);
  await s.close();
  t.remove();
}]), 60_000);
