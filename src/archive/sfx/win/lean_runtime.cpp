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

// Every block carries its size in front of it. Big blocks (the decoder's
// window and input buffer, made afresh for each member) are kept when freed
// and handed out again: extracting many small files then reuses the same
// few blocks instead of asking the system for new memory per member (under
// wine each such block is a mapping of its own).
namespace {

constexpr std::size_t kHead = 16;  // keeps the 16-byte alignment of malloc
constexpr std::size_t kBig = std::size_t{32} << 10;
constexpr int kKept = 8;
void* kept[kKept];

std::size_t& SizeOf(void* p) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(p) - kHead); }

void* Allocate(std::size_t n) {
  if (n >= kBig) {
    for (void*& k : kept) {
      if (k && SizeOf(k) >= n && SizeOf(k) / 2 <= n) {
        void* p = k;
        k = nullptr;
        return p;
      }
    }
  }
  char* h = static_cast<char*>(std::malloc(n + kHead));
  if (!h) return nullptr;
  *reinterpret_cast<std::size_t*>(h) = n;
  return h + kHead;
}

void Release(void* p) {
  if (!p) return;
  if (SizeOf(p) >= kBig) {
    for (void*& k : kept) {
      if (!k) {
        k = p;
        return;
      }
    }
  }
  std::free(static_cast<char*>(p) - kHead);
}

}  // namespace

void* operator new(std::size_t n) {
  if (void* p = Allocate(n)) return p;
  Fatal();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

// Two pieces of the compiler's start-up code that the stub does not need,
// replaced by empty ones to keep the file small: the relocator of
// "pseudo relocations" (the linker makes them only for data imported from
// a DLL, which the stub does not use: its list is empty) and the hook that
// reports floating-point domain errors of the math library.
extern "C" void _pei386_runtime_relocator() {}
struct _exception;
extern "C" int __cdecl _matherr(struct _exception*) { return 0; }
