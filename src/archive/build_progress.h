// What a running archive build tells about itself, and how it is stopped.
//
// The build announces each step (the index, every archiver command) before
// it runs it; listeners (the progress dialog, tests) hear about it on the
// thread that runs the build. A cancel request is a flag that the build reads
// after each library call: the call that runs is never interrupted, the next
// one is not started.
#pragma once

#include <functional>

#include <QString>

namespace lm {

// Text of the step, steps begun so far (this one included), steps expected.
using BuildStepListener = std::function<void(const QString& text, int done, int total)>;

// Adds a listener and returns its number for RemoveBuildStepListener. Only
// while no build runs.
int AddBuildStepListener(BuildStepListener listener);
void RemoveBuildStepListener(int id);

// Starts a new count of `total` steps and withdraws any cancel request.
void BeginBuildSteps(int total);
// Expects `more` steps after those begun so far.
void ExpectMoreBuildSteps(int more);
// Ends the count: withdraws any cancel request, so later work runs normally.
void EndBuildSteps();
// Announces the next step to every listener.
void ReportBuildStep(const QString& text);

// Asks the running build to stop after its current library call; safe from any thread.
void RequestBuildCancel();
bool BuildCancelled();

// The step text of one archiver command: what it does, then the command line.
QString ArchiverStepText(const QString& libraryFile, const QString& command);
// The step text of writing the update definition files.
QString IndexStepText();

}  // namespace lm
