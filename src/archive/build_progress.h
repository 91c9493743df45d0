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

// Progress within one archiver command, as the library reports it: the
// member being packed and the bytes read of it and of the whole command.
struct BuildBytes {
  QString member;
  quint64 memberDone = 0, memberTotal = 0, commandDone = 0, commandTotal = 0;
};
// Heard on the build's thread, up to every 64 KiB of input: keep it cheap
// (store the values; draw from a timer).
using BuildBytesListener = std::function<void(const BuildBytes& bytes)>;
int AddBuildBytesListener(BuildBytesListener listener);
void RemoveBuildBytesListener(int id);
// Passes a library's report to the listeners; false when the build is to
// stop (a cancel was asked for), which the library turns into stopping the
// command at its next block.
bool ReportBuildBytes(const BuildBytes& bytes);

// Asks the running build to stop after its current library call; safe from any thread.
void RequestBuildCancel();
bool BuildCancelled();

// The step text of one archiver command: what it does, then the command line.
QString ArchiverStepText(const QString& libraryFile, const QString& command);
// What an archiver command does, in words for the author, without the
// command line ("LZH アーカイブを作成しています", ...): the first line of
// ArchiverStepText.
QString ArchiverStepWords(const QString& stepText);
// The step text of writing the update definition files.
QString IndexStepText();

}  // namespace lm
