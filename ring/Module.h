// Module: the ring modulator, generic in its number of inputs N.
//
// Pins 0 to N-1 are the inputs "A", "B", ...; pin N is "Out". Each output
// sample is the product of the input samples (A x (1 - B) in the 2-input
// build). The module keeps no state from one processing call to the next;
// the host owns the buffers and points the pin variables at them.
#pragma once

#include "SEModule_base.h"
#include "ring_builds.h"
#include "ring_kernel.h"

template <int N>
class Module : public SEModule_base {
  static_assert(ring::build_row(N) >= 0, "no build has this many inputs");

 public:
  static constexpr const ring::Build& kBuild = ring::kBuilds[ring::build_row(N)];
  static constexpr int kInputs = N;
  static constexpr int kOutputPin = N;

  Module(SEHostCallback callback, void* host_ptr) : SEModule_base(callback, host_ptr) {}
  ~Module() override = default;

  static bool getModuleProperties(SEModuleProperties* properties) {
    properties->name = kBuild.name;
    properties->unique_id = kBuild.unique_id;
    properties->about = kBuild.about;
    return true;
  }

  void open() override {
    SEModule_base::open();
    setSubProcess(static_cast<process_function_ptr>(&Module::sub_process));
  }

  bool getPinProperties(long index, SEPinProperties* properties) override;
  void OnPlugStateChange(SEPin* pin) override;

  // ---- per-sample path -------------------------------------------------
  void SE_CDECL sub_process(long start, long count) {
    const float* inputs[N];
    for (int k = 0; k < N; ++k) inputs[k] = m_input[k] + start;
    float* output = m_output + start;
    if (count <= 0) return;
    kernel()(inputs, output, count);
  }

 private:
  static ring::Kernel kernel() {
    // Chosen on first use, not at load: loading runs none of our code.
    static ring::Kernel chosen = nullptr;
    if (chosen == nullptr) chosen = ring::select_kernel<N, kBuild.formula>();
    return chosen;
  }

  // Whether input k holding at `value` holds the output at zero.
  static bool holds_output_at_zero(int k, float value) {
    if (kBuild.formula == ring::Formula::a_times_one_minus_b && k == 1) return value == 1.0f;
    return value == 0.0f;  // +0 and -0; NaN and denormals are not zero
  }

  float* m_input[N];  // pin variables: the host stores buffer addresses here
  float* m_output;
};

template <int N>
bool Module<N>::getPinProperties(long index, SEPinProperties* properties) {
  static const char* const kLetters[] = {"A", "B", "C", "D", "E", "F", "G", "H",
                                         "I", "J", "K", "L", "M", "N", "O", "P"};
  static_assert(N <= 16, "one letter per input");
  if (index < 0 || index > N) return false;

  properties->datatype = DT_FSAMPLE;
  if (index == N) {
    properties->variable_address = &m_output;
    properties->direction = DR_OUT;
    properties->name = "Out";
    return true;
  }
  properties->variable_address = &m_input[index];
  properties->direction = DR_IN;
  properties->name = kLetters[index];
  const bool zero_default = index == 0 || (index == 6 && kBuild.g_defaults_to_zero);
  properties->default_value = zero_default ? "0" : "5";
  return true;
}

// The output's stream state: the highest input state, except that an input
// holding at a value that holds the output at zero makes the output change
// once and then hold (one-shot). Announced on every call, at the event's
// clock. Pins the host did not create are left out.
template <int N>
void Module<N>::OnPlugStateChange(SEPin*) {
  state_type result = ST_STATIC;
  for (int k = 0; k < N; ++k) {
    SEPin* input = getPin(k);
    if (input != nullptr && input->getStatus() > result) result = input->getStatus();
  }
  for (int k = 0; k < N; ++k) {
    SEPin* input = getPin(k);
    if (input == nullptr || input->getStatus() == ST_RUNNING) continue;
    if (holds_output_at_zero(k, input->getValue())) result = ST_ONE_SHOT;
  }
  const uint32_t clock = SampleClock();
  if (SEPin* output = getPin(kOutputPin)) output->TransmitStatusChange(clock, result);
}
