// The little runtime a module library needs on Windows, so that it links
// against msvcrt.dll and KERNEL32.dll alone: no C++ runtime DLL, no startup
// code of its own, nothing that can unwind.
#include <cstddef>
#include <cstdlib>
#include <new>

// The library entry point only reports success: loading and unloading run
// none of the module's own code.
extern "C" int __attribute__((stdcall)) se_library_entry(void*, unsigned long, void*) {
  return 1;
}

// The ordinary allocator, on msvcrt's heap. Allocation failure answers null;
// every allocation in the module asks for the nothrow form.
void* operator new(std::size_t size) { return std::malloc(size); }
void* operator new[](std::size_t size) { return std::malloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Without the C++ runtime library, the tag object of the nothrow forms is ours too.
namespace std {
const nothrow_t nothrow{};
}
