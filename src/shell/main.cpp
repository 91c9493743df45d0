// Loftmark's entry point. With a command (loftmark build ...) the program
// runs without a window on Qt Core alone; without one it loads the window
// module beside the executable and runs the window. Keeping the window in a
// module of its own means a command never maps Qt Widgets or a display
// plugin, so it runs on machines without a display.
#include <dlfcn.h>

#include <cstdio>

#include "shell/cli/command_line.h"
#include "util/app_globals.h"

namespace {

constexpr const char* kWindowModule = "loftmark-window.so";

}  // namespace

int main(int argc, char** argv) {
  if (lm::cli::WantsCommandLine(argc, argv)) return lm::cli::RunCommandLine(argc, argv);

  const QByteArray module = (lm::ExecutableDir() + QLatin1Char('/') + QLatin1String(kWindowModule)).toLocal8Bit();
  void* handle = ::dlopen(module.constData(), RTLD_NOW | RTLD_LOCAL);
  using Entry = int (*)(int, char**);
  auto entry = handle ? reinterpret_cast<Entry>(::dlsym(handle, "LoftmarkWindowMain")) : nullptr;
  if (entry == nullptr) {
    const char* why = ::dlerror();
    std::fprintf(stderr, "loftmark: ウィンドウのモジュール『%s』を読み込めません。\n%s\n", module.constData(),
                 why ? why : "");
    return 1;
  }
  return entry(argc, argv);
}
