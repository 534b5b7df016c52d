#pragma once

// tellumic-config over any object server: the command line's save, diff and apply.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "foundation/object_server.h"
#include "config/dry_run.h"

namespace tellumic::config {

// Exit statuses.
inline constexpr int kExitDone = 0;      // saved; equal; every meter applied
inline constexpr int kExitPartly = 1;    // different; some meters failed or were skipped
inline constexpr int kExitError = 2;     // usage, file or network errors
// An apply stopped by SIGTERM, SIGINT or SIGHUP ends with 128 and the signal's number, as a
// shell reports a program the signal ended.
inline constexpr int kExitSignalBase = 128;

// Runs one command (the arguments after the program's name). `terminal` asks for progress
// lines that overwrite each other instead of one line per meter. openServer gives the
// dry run's worker processes object servers of their own.
int runConfigTool(const std::vector<std::string> &args, lns::ObjectServer &server, const ServerFactory &openServer,
                  std::ostream &out, std::ostream &err, bool terminal);

extern const char *const kConfigUsage;

// Whether the arguments ask for the usage text (--help or -h anywhere): it needs no
// installation and opens none.
bool asksForHelp(const std::vector<std::string> &args);

// The lock that keeps two applies on one network apart (in the program folder); a second
// apply finds it held, says so and ends.
std::filesystem::path applyLockPath(const std::string &network);

}  // namespace tellumic::config
