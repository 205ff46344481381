// The base of tests that run once for every build: the parameter is the
// build's input count, and no test may leave a failed-check report behind.
#pragma once

#include <gtest/gtest.h>

#include "failed_checks.h"
#include "plugins.h"
#include "ring_host.h"

namespace ringtest {

class RingBuildTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { sehost::clear_failed_checks(); }
  void TearDown() override {
    for (const sehost::FailedCheck& check : sehost::failed_checks())
      ADD_FAILURE() << "failed check reported: \"" << check.expression << "\" (" << check.source
                    << ", line " << check.line << ")";
  }
  int inputs() const { return GetParam(); }
  int output_pin() const { return GetParam(); }
};

inline std::string build_param_name(const ::testing::TestParamInfo<int>& info) {
  return build_name(info.param);
}

}  // namespace ringtest

// Runs the tests of `suite` for each of the seven builds.
#define RING_FOR_EVERY_BUILD(suite)                                                   \
  INSTANTIATE_TEST_SUITE_P(EveryBuild, suite,                                         \
                           ::testing::ValuesIn(::ringtest::all_input_counts()),       \
                           ::ringtest::build_param_name)
