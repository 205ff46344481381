// Where the tests find the module libraries of the build they belong to:
// ELF shared objects in the native build, the real .sem DLLs in the Windows
// build (run under wine).
#pragma once

#include <string>
#include <vector>

namespace ringtest {

// Input counts of the seven builds, in build-table order.
inline const std::vector<int>& all_input_counts() {
  static const std::vector<int> counts = {2, 3, 4, 6, 8, 12, 16};
  return counts;
}

inline std::string plugin_path(int inputs) {
  return std::string(RING_PLUGIN_DIR) + "/kvd_ring" + std::to_string(inputs) + ".sem";
}

}  // namespace ringtest
