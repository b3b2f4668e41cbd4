// Small harness for the fault tests: starts taskory_mcp on a private data
// directory, speaks line-delimited JSON-RPC to it without any client library
// (so that it can also send what a library would refuse), checks that every
// answer line is valid UTF-8 and JSON, and bounds every wait.

import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, rmSync, chmodSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

export const CALL_TIMEOUT_MS = 15_000;
const utf8 = new TextDecoder("utf-8", { fatal: true });

// A fresh directory that stands in for HOME; the store lives below it.
export function tempHome(prefix = "taskory-fault-") {
  const home = mkdtempSync(join(tmpdir(), prefix));
  chmodSync(home, 0o755);
  return {
    home,
    dataHome: join(home, "data"),
    storeDir: join(home, "data", "taskory"),
    store: join(home, "data", "taskory", "Taskory.store"),
    remove() {
      rmSync(home, { recursive: true, force: true });
    },
  };
}

// `extra` overrides; a key set to undefined is left out of the environment.
export function serverEnv(t, extra = {}) {
  const env = {
    PATH: process.env.PATH ?? "/usr/bin:/bin",
    HOME: t.home,
    XDG_DATA_HOME: t.dataHome,
    TZ: "Europe/Berlin",
    LC_ALL: "de_DE.UTF-8",
    ASAN_OPTIONS: process.env.ASAN_OPTIONS ?? "",
    UBSAN_OPTIONS: process.env.UBSAN_OPTIONS ?? "",
    ...extra,
  };
  for (const [key, value] of Object.entries(env)) if (value === undefined) delete env[key];
  return env;
}

export class Server {
  // `wrapper` is an argv prefix (e.g. setpriv ...) placed before the binary.
  constructor(binary, t, { wrapper = [], env = {}, cwd } = {}) {
    const argv = [...wrapper, resolve(binary)];
    this.child = spawn(argv[0], argv.slice(1), {
      env: serverEnv(t, env),
      cwd: cwd ?? t.home,
      stdio: ["pipe", "pipe", "pipe"],
    });
    this.pending = new Map();
    this.unexpected = [];
    this.nextID = 1;
    this.stderr = "";
    this.buffer = Buffer.alloc(0);
    this.exit = new Promise((res) => {
      this.child.on("exit", (code, signal) => res({ code, signal }));
      this.child.on("error", (e) => { this.stderr += `cannot start ${argv.join(" ")}: ${e.message}\n`; res({ code: -1, signal: null }); });
    });
    this.child.stdin.on("error", () => {}); // a crashed server closes the pipe
    this.child.stderr.on("data", (d) => { this.stderr += d; });
    this.child.stdout.on("data", (chunk) => this.#onData(chunk));
    this.answered = 0;
  }

  #onData(chunk) {
    this.buffer = Buffer.concat([this.buffer, chunk]);
    let nl;
    while ((nl = this.buffer.indexOf(0x0a)) >= 0) {
      const raw = this.buffer.subarray(0, nl);
      this.buffer = this.buffer.subarray(nl + 1);
      let message;
      try {
        message = JSON.parse(utf8.decode(raw));
      } catch (e) {
        this.unexpected.push(`answer line is not UTF-8 JSON (${e.message}): ${raw.subarray(0, 200).toString("latin1")}`);
        continue;
      }
      this.answered++;
      const waiter = this.pending.get(message.id);
      if (!waiter) {
        this.unexpected.push(`answer to no request: ${JSON.stringify(message).slice(0, 200)}`);
        continue;
      }
      this.pending.delete(message.id);
      waiter.resolve(message);
    }
  }

  get pid() {
    return this.child.pid;
  }

  // Sends one request line and returns a promise of its answer, rejected on
  // timeout or when the server ends first.
  request(method, params, { timeoutMs = CALL_TIMEOUT_MS, id } = {}) {
    const requestID = id ?? this.nextID++;
    const line = JSON.stringify({ jsonrpc: "2.0", id: requestID, method, ...(params === undefined ? {} : { params }) });
    return this.requestLine(line, requestID, timeoutMs);
  }

  requestLine(line, requestID, timeoutMs = CALL_TIMEOUT_MS) {
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.pending.delete(requestID);
        reject(new Error(`no answer within ${timeoutMs} ms to ${line.slice(0, 160)}`));
      }, timeoutMs);
      const done = (f) => (v) => { clearTimeout(timer); f(v); };
      this.pending.set(requestID, { resolve: done(resolve), reject: done(reject) });
      this.exit.then(({ code, signal }) => {
        if (this.pending.has(requestID)) {
          this.pending.delete(requestID);
          clearTimeout(timer);
          reject(new Error(`server ended (status ${code}, signal ${signal}) before answering ${line.slice(0, 160)}\n${this.stderr}`));
        }
      });
      this.child.stdin.write(line + "\n");
    });
  }

  // A tools/call; resolves with {text, isError, ms}.
  async tool(name, args, opts) {
    const t0 = Date.now();
    const m = await this.request("tools/call", { name, arguments: args }, opts);
    const r = m.result;
    if (!r || !Array.isArray(r.content) || r.content.length !== 1 || typeof r.isError !== "boolean")
      throw new Error(`${name}: not a tool result: ${JSON.stringify(m).slice(0, 300)}`);
    return { text: r.content[0].text, isError: r.isError, ms: Date.now() - t0 };
  }

  // A tools/call that must succeed; returns its text.
  async ok(name, args, opts) {
    const r = await this.tool(name, args, opts);
    if (r.isError) throw new Error(`${name} ${JSON.stringify(args).slice(0, 200)} failed: ${r.text.slice(0, 300)}`);
    return r.text;
  }

  kill(signal = "SIGKILL") {
    this.child.kill(signal);
    return this.exit;
  }

  // Ends input and waits for a clean exit.
  async close(timeoutMs = CALL_TIMEOUT_MS) {
    this.child.stdin.end();
    const timer = setTimeout(() => this.child.kill("SIGKILL"), timeoutMs);
    const status = await this.exit;
    clearTimeout(timer);
    return status;
  }
}

// Runs SQL through the sqlite3 shell as another program would; throws on any
// error (-bail). A busy timeout keeps it from failing on the servers' locks.
export function sqlite(store, sql, { busyMs = 10_000 } = {}) {
  return execFileSync("sqlite3", ["-bail", "-cmd", `.timeout ${busyMs}`, store], {
    input: sql,
    encoding: "utf8",
    timeout: busyMs + 20_000,
  }).trim();
}

export const sqlString = (s) => "'" + s.replaceAll("'", "''") + "'";

// ---------------------------------------------------------------------------
// A tiny test runner: named checks, each bounded, TAP-like lines and the
// closing "N passed, N failed" line that CTest's log shows.

export class Check extends Error {}

export function expect(condition, message) {
  if (!condition) throw new Check(message);
}

export function expectEqual(actual, expected, what) {
  const a = JSON.stringify(actual);
  const e = JSON.stringify(expected);
  if (a !== e) throw new Check(`${what}\n    expected: ${e.slice(0, 600)}\n    actual:   ${a.slice(0, 600)}`);
}

export async function run(suite, cases, { totalTimeoutMs = 120_000 } = {}) {
  const watchdog = setTimeout(() => {
    console.error(`${suite}: not finished after ${totalTimeoutMs / 1000} s`);
    process.exit(1);
  }, totalTimeoutMs);
  const only = process.env.FAULT_CASE;
  let passed = 0;
  let failed = 0;
  for (const [name, fn] of cases) {
    if (only && !name.includes(only)) continue;
    const t0 = Date.now();
    try {
      await fn();
      passed++;
      console.log(`ok - ${suite}: ${name} (${Date.now() - t0} ms)`);
    } catch (e) {
      failed++;
      console.log(`not ok - ${suite}: ${name}\n    ${e instanceof Check ? e.message : e?.stack ?? e}`);
    }
  }
  clearTimeout(watchdog);
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

// Short IDs in a confirmation line: the 8 hex digits in parentheses.
export function shortIDOf(text) {
  const m = /\(([0-9A-F]{8})\)/.exec(text);
  return m ? m[1] : null;
}

export function sleep(ms) {
  return new Promise((r) => setTimeout(r, ms));
}
