// Runs taskory_mcp (argv[2]) on a private HOME and speaks JSON-RPC lines to it without a client
// library; every answer line must be UTF-8 JSON, every wait is bounded.
import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, rmSync, chmodSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join, resolve } from "node:path";
import { createInterface } from "node:readline";

export const binary = resolve(process.argv[2] ?? "taskory_mcp");
const utf8 = new TextDecoder("utf-8", { fatal: true });

// A server's environment: the private HOME, Berlin, German; `extra` adds keys
// or, set to undefined, leaves them out.
export const serverEnv = (t, extra = {}) => ({ PATH: process.env.PATH, HOME: t.home, XDG_DATA_HOME: t.dataHome, TZ: "Europe/Berlin",
  LC_ALL: "de_DE.UTF-8", ASAN_OPTIONS: process.env.ASAN_OPTIONS, UBSAN_OPTIONS: process.env.UBSAN_OPTIONS, ...extra });

export function tempHome() {
  const home = mkdtempSync(join(tmpdir(), "taskory-e2e-"));
  chmodSync(home, 0o755); // the store-file test hands it to an unprivileged user
  const storeDir = join(home, "data", "taskory");
  return { home, dataHome: join(home, "data"), storeDir, store: join(storeDir, "Taskory.store"),
    remove: () => rmSync(home, { recursive: true, force: true }) };
}

export class Server {
  // `wrapper` is an argv prefix placed before the binary; `env` as serverEnv's.
  constructor(t, { wrapper = [], env = {}, cwd = t.home } = {}) {
    const argv = [...wrapper, binary];
    this.child = spawn(argv[0], argv.slice(1), { cwd, env: serverEnv(t, env) });
    Object.assign(this, { pending: new Map(), unexpected: [], stderr: "", nextID: 1 });
    this.exit = new Promise((res) => this.child.on("close", (code, signal) => res({ code, signal })));
    this.exit.then((s) => { for (const w of this.pending.values()) w.reject(new Error(`server ended ${JSON.stringify(s)}\n${this.stderr}`)); });
    this.child.stdin.on("error", () => {}); // a killed server closes the pipe
    this.child.stderr.on("data", (d) => { this.stderr += d; });
    let buffer = Buffer.alloc(0);
    this.child.stdout.on("data", (chunk) => {
      buffer = Buffer.concat([buffer, chunk]);
      for (let nl; (nl = buffer.indexOf(10)) >= 0; buffer = buffer.subarray(nl + 1)) {
        let m;
        try { m = JSON.parse(utf8.decode(buffer.subarray(0, nl))); } catch (e) { this.unexpected.push(`not UTF-8 JSON: ${e.message}`); continue; }
        if (this.pending.has(m.id)) this.pending.get(m.id).resolve(m);
        else this.unexpected.push(`answer to no request: ${JSON.stringify(m).slice(0, 200)}`);
      }
    });
  }

  request(method, params, { timeoutMs = 15_000 } = {}) {
    const id = this.nextID++;
    const line = JSON.stringify({ jsonrpc: "2.0", id, method, params });
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`no answer within ${timeoutMs} ms to ${line.slice(0, 160)}`)), timeoutMs);
      const settle = (f) => (v) => { clearTimeout(timer); this.pending.delete(id); f(v); };
      this.pending.set(id, { resolve: settle(resolve), reject: settle(reject) });
      this.child.stdin.write(line + "\n");
    });
  }

  // A tools/call; resolves with {text, isError, ms}.
  async tool(name, args, opts) {
    const t0 = Date.now();
    const m = await this.request("tools/call", { name, arguments: args }, opts);
    const r = m.result;
    if (r?.content?.length !== 1 || typeof r.isError !== "boolean") throw new Error(`${name}: not a tool result: ${JSON.stringify(m).slice(0, 300)}`);
    return { text: r.content[0].text, isError: r.isError, ms: Date.now() - t0 };
  }

  async ok(name, args, opts) {
    const r = await this.tool(name, args, opts);
    if (r.isError) throw new Error(`${name} ${JSON.stringify(args).slice(0, 200)} failed: ${r.text.slice(0, 300)}`);
    return r.text;
  }

  // Ends input; the server must exit cleanly with nothing stray on stdout or stderr.
  async close() {
    this.child.stdin.end();
    const timer = setTimeout(() => this.child.kill("SIGKILL"), 15_000);
    expectEqual([await this.exit, this.unexpected, this.stderr], [{ code: 0, signal: null }, [], ""], "exit, stray answers, standard error");
    clearTimeout(timer);
  }
}

// SQL through the sqlite3 shell, as another program would write; -bail throws
// on any error, the timeout waits out the servers' locks.
export function sqlite(store, sql, busyMs = 10_000) {
  return execFileSync("sqlite3", ["-bail", "-cmd", `.timeout ${busyMs}`, store], { input: sql, encoding: "utf8", timeout: busyMs + 20_000 }).trim();
}
// A sqlite3 shell on the store, as another program keeps one open; `onLine`
// gets each line it prints, `exit` resolves with its status or signal.
export function sqliteShell(store, onLine = () => {}, options = ["-bail", "-cmd", ".timeout 5000"]) {
  const child = spawn("sqlite3", [...options, store]);
  const shell = { child, stderr: "", exit: new Promise((res) => child.on("exit", (code, signal) => res(signal ?? code))) };
  child.stderr.on("data", (d) => { shell.stderr += d; });
  child.stdin.on("error", () => {});
  createInterface({ input: child.stdout }).on("line", onLine);
  return shell;
}
export const sqlString = (s) => "'" + s.replaceAll("'", "''") + "'";
export const shortIDOf = (text) => /\(([0-9A-F]{8})\)/.exec(text)?.[1] ?? null;

class Check extends Error {}
export function expect(condition, message) {
  if (!condition) throw new Check(message);
}
export function expectEqual(actual, expected, what) {
  const [a, e] = [JSON.stringify(actual), JSON.stringify(expected)];
  if (a !== e) throw new Check(`${what}\n    expected: ${e.slice(0, 600)}\n    actual:   ${a.slice(0, 600)}`);
}

// Runs named cases in order under one watchdog; TAP-like lines for CTest's log.
export async function run(cases, totalTimeoutMs = 120_000) {
  const suite = basename(process.argv[1], ".mjs");
  setTimeout(() => { console.log(`${suite}: not finished after ${totalTimeoutMs / 1000} s`); process.exit(1); }, totalTimeoutMs).unref();
  let failed = 0;
  for (const [name, fn] of cases) {
    const t0 = Date.now();
    try {
      await fn();
      console.log(`ok - ${suite}: ${name} (${Date.now() - t0} ms)`);
    } catch (e) {
      failed++;
      console.log(`not ok - ${suite}: ${name}\n    ${e instanceof Check ? e.message : e?.stack ?? e}`);
    }
  }
  console.log(`${cases.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}
