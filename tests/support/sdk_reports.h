// Failed-check reports as the tests compare them: expression text and
// source name (the line is the module's own business).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "failed_checks.h"

namespace sdktest {

struct Report {
  std::string expression;
  std::string source;
  bool operator==(const Report& other) const {
    return expression == other.expression && source == other.source;
  }
};

inline void PrintTo(const Report& report, std::ostream* out) {
  *out << "\"" << report.expression << "\" from " << report.source;
}

// Every report since the last sehost::clear_failed_checks().
inline std::vector<Report> reports() {
  std::vector<Report> seen;
  for (const sehost::FailedCheck& check : sehost::failed_checks())
    seen.push_back({check.expression, check.source});
  return seen;
}

inline Report from_base(const char* expression) { return {expression, "SEModule_base"}; }
inline Report from_pin(const char* expression) { return {expression, "SEPin"}; }

// The description check of MOD_GET_PIN_PROPERTIES, character for character.
constexpr const char* kStoredInputCheck =
    "(((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
    "(((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
    "((SEPinProperties*)ptr)->direction == DR_OUT || "
    "( ( (SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0";

}  // namespace sdktest
