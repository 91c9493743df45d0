// The stub is built without exceptions. The standard library's containers
// still name its throw helpers and the throwing operator new, which would
// link in the whole exception machinery (over 100 KiB). Here they end the
// program instead: the stub has no use for recovering from them.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fatal() {
  FatalAppExitW(0, L"メモリが足りないか、内部エラーが起きました。");
  std::abort();
}

}  // namespace

namespace std {
void __throw_bad_alloc() { Fatal(); }
void __throw_bad_array_new_length() { Fatal(); }
void __throw_length_error(const char*) { Fatal(); }
void __throw_logic_error(const char*) { Fatal(); }
void __throw_out_of_range(const char*) { Fatal(); }
void __throw_out_of_range_fmt(const char*, ...) { Fatal(); }
void __throw_invalid_argument(const char*) { Fatal(); }
void __throw_bad_function_call() { Fatal(); }
}  // namespace std

void* operator new(std::size_t n) {
  if (void* p = std::malloc(n ? n : 1)) return p;
  Fatal();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Two pieces of the compiler's start-up code that the stub does not need,
// replaced by empty ones to keep the file small: the relocator of
// "pseudo relocations" (the linker makes them only for data imported from
// a DLL, which the stub does not use: its list is empty) and the hook that
// reports floating-point domain errors of the math library.
extern "C" void _pei386_runtime_relocator() {}
struct _exception;
extern "C" int __cdecl _matherr(struct _exception*) { return 0; }
