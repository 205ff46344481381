// Opened instances of the real ring modulator libraries of this build,
// driven by the stand-in host.
#pragma once

#include <memory>
#include <string>

#include "stand_in_host.h"

namespace ringtest {

struct RingOptions {
  long block = 64;                  // samples in every pin's own buffer
  unsigned stack_misalignment = 0;  // for every call into the module
  long pin_count = -1;              // host's pin count answer; -1: all N + 1
};

// Loads (once per process) the library with `inputs` inputs, creates an
// instance and opens it. Null, with a test failure added, if any step fails.
std::unique_ptr<sehost::StandInHost> open_ring(int inputs, const RingOptions& options = {});

// "N3" and so on: names for tests run once per build.
std::string build_name(int inputs);

}  // namespace ringtest
