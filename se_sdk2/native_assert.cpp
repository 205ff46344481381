// Native builds have no msvcrt: this stands in for its `_assert`, reporting
// a failed check on stderr and carrying on. Weak, so that a host process that
// exports its own `_assert` receives the reports instead.
#include <cstdio>

#include "se_check.h"

extern "C" __attribute__((weak, visibility("default"))) void SE_CDECL _assert(
    const char* expression, const char* source, unsigned line) {
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %u\n", expression, source, line);
}
