// Odd environments: the C locale, one that is not installed, an unknown or
// empty time zone, UTC+14, cwd "/". The server must start, keep the
// natural plan order (case-insensitive, digit runs by value) and read and
// print dates consistently, with nothing on standard error.
import { Server, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

await run([
  ["LC_ALL=C, no LANG", { LC_ALL: "C" }],
  ["LC_ALL of a locale that is not installed", { LC_ALL: "xx_YY.UTF-8" }],
  ["an unknown time zone", { TZ: "Nirgendwo/Stadt" }],
  ["an empty time zone, LANG only", { TZ: "", LC_ALL: undefined, LANG: "de_DE.UTF-8" }],
  ["UTC+14", { TZ: "Pacific/Kiritimati" }],
  ["working directory /", { LC_ALL: "C.UTF-8" }, "/"],
].map(([label, env, cwd]) => [label, async () => {
  const t = tempHome();
  const s = new Server(t, { env, cwd });
  for (const title of ["Plan 10", "plan 2", "Plan 1", "Ähnlich", "alpha"]) await s.ok("create_plan", { title });
  sqlite(t.store, "UPDATE Plan SET sortOrder = 1024;"); // equal sort orders leave the order to the titles
  const titles = (await s.ok("list_plans", {})).split("\n").map((l) => l.split(" · ")[1]);
  expectEqual(titles.filter((x) => /^p/i.test(x)), ["Plan 1", "plan 2", "Plan 10"], "natural plan order");
  const created = await s.ok("create_card", { title: "Termin", plan: "plan 2", due_date: "2025-03-14" });
  expect(created.endsWith(", fällig 2025-03-14"), `a date-only due date reads back as the same day: ${created}`);
  expect((await s.ok("list_cards", { plan: "Plan 2" })).includes("fällig 2025-03-14 ·"), "list_cards shows the same day");
  expect(/^\d+ Aufgaben eingeplant, \d+ Ideen-Aufgaben angelegt/.test(await s.ok("plan_week", {})), "plan_week");
  await s.close();
  t.remove();
}]), 60_000);
