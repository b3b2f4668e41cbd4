#pragma once

// The HTTP mode runs as its own executable, taskory_mcp_http, installed next
// to taskory_mcp: the HTTP library and what it loads (TLS, compression)
// would otherwise be loaded at every start of the stdio server, which hosts
// start once per session and which answers its first request sooner without
// them.
namespace taskory::HttpLauncher {

// True when the command line asks for the HTTP mode (--http anywhere).
bool requested(int argc, char **argv);

// Replaces the process with taskory_mcp_http from the directory of the
// running executable, with the same arguments. Returns only on failure,
// after logging the reason, with exit status 1; so does a build without the
// HTTP mode.
int run(char **argv);

} // namespace taskory::HttpLauncher
