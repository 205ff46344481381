// What the ring modulator must write, computed independently of its kernel:
// the product of the input samples in double precision, left to right in pin
// order, rounded once to float (A x (1 - B) in the 2-input build, with
// 1 - B formed in double first).
#pragma once

#include <cfloat>

static_assert(FLT_EVAL_METHOD == 0,
              "the oracle needs double arithmetic done in double, not in x87 registers");

namespace ringtest {

// One output sample from the samples of the inputs at one position.
inline float ring_oracle_sample(int inputs, const float* samples) {
  if (inputs == 2)
    return static_cast<float>(static_cast<double>(samples[0]) *
                              (1.0 - static_cast<double>(samples[1])));
  double product = samples[0];
  for (int k = 1; k < inputs; ++k) product *= static_cast<double>(samples[k]);
  return static_cast<float>(product);
}

// The per-sample order on real memory: for each sample, every input is read
// before the output is written. Run on a copy laid out like the module's
// buffers, it models outputs that overlap inputs exactly.
inline void ring_oracle_run(int inputs, const float* const* in, float* out, long count) {
  for (long i = 0; i < count; ++i) {
    float samples[16] = {};
    for (int k = 0; k < inputs; ++k) samples[k] = in[k][i];
    out[i] = ring_oracle_sample(inputs, samples);
  }
}

}  // namespace ringtest
