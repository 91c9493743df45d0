// Loftmark's commands: the operations of the main window without a window,
// for scripts and CI jobs.
//
//   loftmark profiles
//   loftmark index   (--profile NAME | --script FILE) --next "Y M D H M" [--tmp]
//   loftmark build   (--profile NAME | --script FILE) --type qsc|lzh|exe|all ...
//   loftmark compare (--profile NAME | --script FILE) [--server-index FILE]
//   loftmark publish (--profile NAME) [--dry-run] [--yes]
//
// A command runs on a QCoreApplication and never loads Qt Widgets. It reads
// lfup.ini (or --settings FILE) and never writes it. Exit status 0 success,
// 1 the operation failed (after its message), 2 a usage error.
#pragma once

namespace lm::cli {

enum ExitCode { kSuccess = 0, kFailed = 1, kUsage = 2 };

// True when the arguments name a command or an option: the program then runs
// RunCommandLine instead of the window. A single argument that names a
// script information file (NAME.ugu or NAME.psn, any letter case; what the
// desktop passes when the author opens one) starts the window with it.
bool WantsCommandLine(int argc, char** argv);

// Parses the arguments, runs the command and returns the exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace lm::cli
