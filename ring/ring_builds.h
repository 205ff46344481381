// The seven builds of the ring modulator: everything that differs between
// the libraries, in one table. Each library compiles this with its own N and
// uses its row only in constant expressions, so it carries only its own texts.
#pragma once

namespace ring {

enum class Formula {
  product,                // A x B x C x ...
  a_times_one_minus_b,    // A x (1 - B)
};

struct Build {
  int inputs;
  const char* file;
  const char* name;
  const char* unique_id;
  const char* about;
  Formula formula;
  bool g_defaults_to_zero;  // "G" (index 6) has default text "0", like "A"
};

constexpr Build kBuilds[] = {
    {2, "kvd_ring2.sem", "KVD Ring 02", "KVD Double ring modulator", "by Tarnwick",
     Formula::a_times_one_minus_b, false},
    {3, "kvd_ring3.sem", "KVD Ring 03", "KVD Tripple ring modulator", "by Tarnwick",
     Formula::product, false},
    {4, "kvd_ring4.sem", "KVD Ring 04", "KVD Quadra ring modulator", "by Tarnwick",
     Formula::product, false},
    {6, "kvd_ring6.sem", "KVD Ring 06", "KVD Hexa ring modulator", "by Tarnwick",
     Formula::product, false},
    {8, "kvd_ring8.sem", "KVD Ring 08", "KVD Octa ring modulator", "by Tarnwick",
     Formula::product, false},
    {12, "kvd_ring12.sem", "KVD Ring 12", "KVD Dodeca ring modulator", "by Tarnwick",
     Formula::product, true},
    {16, "kvd_ring16.sem", "KVD Ring 16", "KVD Hexadeca ring modulator", "by Tarnwick",
     Formula::product, true},
};

constexpr int kBuildCount = sizeof kBuilds / sizeof kBuilds[0];

// Position of the build with this many inputs in kBuilds, or -1.
constexpr int build_row(int inputs) {
  for (int row = 0; row < kBuildCount; ++row)
    if (kBuilds[row].inputs == inputs) return row;
  return -1;
}

}  // namespace ring
