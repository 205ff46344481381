// Failed internal checks.
//
// A check that fails is reported through the runtime library's assertion
// report `_assert(expression, source, line)`, and the code after it goes on
// as if it had passed. The expression texts are fixed strings that hosts and
// tests match exactly, so they are written out rather than stringified.
//
// On Windows `_assert` is msvcrt's. In the native build a weak default that
// prints to stderr stands in; a host that exports its own `_assert` (as the
// stand-in host does) receives the reports instead.
#pragma once

#include "se_types.h"

extern "C" void SE_CDECL _assert(const char* expression, const char* source,
                                 unsigned line);

#define SE_CHECK(condition, expression_text, source_name)           \
  do {                                                              \
    if (!(condition)) _assert(expression_text, source_name, __LINE__); \
  } while (0)
