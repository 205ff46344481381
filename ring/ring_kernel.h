// The per-sample arithmetic of the ring modulator, apart from all
// bookkeeping.
//
// Each output sample is formed in double precision from the input samples
// of the same position, read in pin order before the sample is written, and
// rounded once to float at the store:
//   product builds:  ((A x B) x C) x ...   left to right
//   2-input build:   A x (1 - B)
// Plain IEEE arithmetic: no clamping, no NaN filtering, no flushing.
#pragma once

#include "ring_builds.h"

namespace ring {

// Writes `count` (> 0) samples to `output` from inputs[0..N-1].
typedef void (*Kernel)(const float* const* inputs, float* output, long count);

template <int N, Formula F>
inline float ring_sample(const float* const* inputs, long i) {
  if constexpr (F == Formula::a_times_one_minus_b) {
    static_assert(N == 2, "A x (1 - B) takes two inputs");
    return static_cast<float>(static_cast<double>(inputs[0][i]) *
                              (1.0 - static_cast<double>(inputs[1][i])));
  } else {
    double product = inputs[0][i];
    for (int k = 1; k < N; ++k) product *= static_cast<double>(inputs[k][i]);
    return static_cast<float>(product);
  }
}

// The straightforward loop, one sample at a time. Exact for any overlap of
// output and inputs, since every sample's inputs are read before its store.
template <int N, Formula F>
void process_plain(const float* const* inputs, float* output, long count) {
  for (long i = 0; i < count; ++i) output[i] = ring_sample<N, F>(inputs, i);
}

// The kernel this library uses for N inputs; picked once per library.
template <int N, Formula F>
Kernel select_kernel() {
  return &process_plain<N, F>;
}

}  // namespace ring
