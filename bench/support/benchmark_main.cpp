// Entry point of the Google Benchmark programs: a QCoreApplication for Qt's
// file services, then every benchmark the program registered.
#include <QCoreApplication>
#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
