// The failed-check reports of every module in this process.
//
// Modules report a failed check through `_assert(expression, source, line)`
// and go on. This library defines that function for the process (natively it
// is exported to the module libraries; on Windows the loader points each
// loaded library's msvcrt import at it), so reports are recorded instead of
// ending the process. One log per process; not thread-safe, like the rest of
// the stand-in host.
#pragma once

#include <string>
#include <vector>

namespace sehost {

struct FailedCheck {
  std::string expression;
  std::string source;
  unsigned line;
};

const std::vector<FailedCheck>& failed_checks();
void clear_failed_checks();
// Echo each report on stderr as it arrives (off by default).
void echo_failed_checks(bool on);

// The address of the recorder, with msvcrt's `_assert` signature.
void* failed_check_recorder();

}  // namespace sehost
