#include "failed_checks.h"

#include <cstdio>

#include "se_types.h"

namespace sehost {
namespace {
std::vector<FailedCheck>& log() {
  static std::vector<FailedCheck> reports;
  return reports;
}
bool echo = false;
}  // namespace

const std::vector<FailedCheck>& failed_checks() { return log(); }
void clear_failed_checks() { log().clear(); }
void echo_failed_checks(bool on) { echo = on; }

}  // namespace sehost

// Reached from module code, possibly on a stack aligned to 4 bytes only.
extern "C" __attribute__((visibility("default"), force_align_arg_pointer)) void SE_CDECL
_assert(const char* expression, const char* source, unsigned line) {
  sehost::log().push_back({expression ? expression : "", source ? source : "", line});
  if (sehost::echo) std::fprintf(stderr, "failed check: %s (%s, line %u)\n", expression, source, line);
}

namespace sehost {
void* failed_check_recorder() { return reinterpret_cast<void*>(&::_assert); }
}  // namespace sehost
