// The server under whatever environment a client host gives it: C and POSIX
// locales, no locale at all, a locale that is not installed, an unknown or
// empty time zone, the root directory as working directory. It must start,
// answer, keep the natural plan order (case-insensitive, digit runs by value)
// and read and print dates consistently.

import { Server, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

const binary = process.argv[2];

const ENVIRONMENTS = [
  ["LC_ALL=C", { LC_ALL: "C" }],
  ["LC_ALL=C.UTF-8", { LC_ALL: "C.UTF-8" }],
  ["no LANG, no LC_ALL", { LC_ALL: undefined, LANG: undefined }],
  ["LC_ALL of a locale that is not installed", { LC_ALL: "xx_YY.UTF-8" }],
  ["LANG only, empty LC_ALL", { LC_ALL: "", LANG: "de_DE.UTF-8" }],
  ["an unknown time zone", { TZ: "Nirgendwo/Stadt" }],
  ["an empty time zone", { TZ: "" }],
  ["no TZ at all", { TZ: undefined }],
  ["UTC+14", { TZ: "Pacific/Kiritimati" }],
  ["working directory /", { LC_ALL: "C.UTF-8" }, "/"],
];

const cases = ENVIRONMENTS.map(([label, env, cwd]) => [label, async () => {
  const t = tempHome();
  const s = new Server(binary, t, { env, cwd });
  for (const title of ["Plan 10", "plan 2", "Plan 1", "Ähnlich", "alpha"])
    await s.ok("create_plan", { title });
  // Equal sort orders leave the order to the titles.
  sqlite(t.store, "UPDATE Plan SET sortOrder = 1024;");
  const titles = (await s.ok("list_plans", {})).split("\n").map((l) => l.split(" · ")[1]);
  expectEqual(titles.filter((x) => x.startsWith("P") || x.startsWith("p")), ["Plan 1", "plan 2", "Plan 10"],
    "natural plan order");
  const created = await s.ok("create_card", { title: "Termin", plan: "plan 2", due_date: "2025-03-14" });
  expect(created.endsWith(", fällig 2025-03-14"), `a date-only due date reads back as the same day: ${created}`);
  const listed = await s.ok("list_cards", { plan: "Plan 2" });
  expect(listed.includes("fällig 2025-03-14 ·") || listed.includes("fällig 2025-03-14"), `list_cards: ${listed}`);
  const week = await s.ok("plan_week", {});
  expect(/^\d+ Aufgaben eingeplant, \d+ Ideen-Aufgaben angelegt/.test(week), `plan_week: ${week}`);
  expectEqual(await s.close(), { code: 0, signal: null }, "exit");
  expectEqual(s.stderr, "", "standard error");
  t.remove();
}]);

await run("faults_environment", cases, { totalTimeoutMs: 60_000 });
