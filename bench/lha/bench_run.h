// Running the outside tools the LHA benchmark compares with (jlha, gzip,
// lhasa, ImageMagick's convert): argument lists passed straight to the
// program, no shell in between, so file names need no quoting.
#pragma once

#include <string>
#include <vector>

namespace lhabench {

// Runs `argv` in `cwd` (the current folder when empty), waits for it and
// returns its exit status (-1 when it could not be started or was killed).
// Its standard output and error go to `output` when given, otherwise are
// dropped; `cpuSeconds`, when given, gets the processor time it used (user
// and system, all its threads).
int Run(const std::vector<std::string>& argv, const std::string& cwd = {}, std::string* output = nullptr,
        double* cpuSeconds = nullptr);

// Processor time the calling thread has used so far (user and system). On a
// machine shared with other work it varies far less than the time on the
// clock, so the benchmark compares its encoders by it.
double ThreadCpuSeconds();

// Processor time the whole process has used so far, all its threads.
double ProcessCpuSeconds();

// True when `program` is found on PATH.
bool HaveProgram(const std::string& program);

}  // namespace lhabench
