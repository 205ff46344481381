// The stream state that the ring modulator announces for its output, through
// the stand-in host against the real libraries. Events arrive at a clock
// later than the block start, so the value each input holds is read from the
// element of its buffer that the event's clock names.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <vector>

#include "ring_build_test.h"

using namespace ringtest;
using sehost::CallbackCall;
using sehost::PinStatusAnnouncement;
using sehost::StandInHost;

namespace {

constexpr long kBlock = 64;
constexpr uint32_t kBlockStart = 1000;
constexpr uint32_t kEventAt = kBlockStart + 13;
// What an input holds unless a case says otherwise: neither 0 nor 1, so it
// holds no build's output at zero.
constexpr float kHeld = 0.5f;

constexpr int A = 0, B = 1, C = 2, F = 5, P = 15;
constexpr int kLast = -1;  // the last input of whichever build

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kDenormal = std::numeric_limits<float>::denorm_min();

struct InputState {
  int pin;  // kLast for the last input
  state_type state;
  float value;  // what it holds at the event's clock
};

const char* state_name(long state) {
  switch (state) {
    case ST_STATIC: return "ST_STATIC";
    case ST_ONE_SHOT: return "ST_ONE_SHOT";
    case ST_RUNNING: return "ST_RUNNING";
    default: return "(not a state)";
  }
}

class OutputState : public RingBuildTest {
 protected:
  void SetUp() override {
    RingBuildTest::SetUp();
    host = open_ring(inputs(), {kBlock});
    ASSERT_TRUE(host);
    host->setBlockStartClock(kBlockStart);
  }

  int pin(int named) const { return named == kLast ? inputs() - 1 : named; }
  // Whether a value of 0 on this input holds the output at zero.
  bool zeroHolds(int input) const { return inputs() != 2 || input == A; }
  // The value of this input that holds the output at zero.
  float holdingValue(int input) const { return inputs() == 2 && input == B ? 1.0f : 0.0f; }

  void fillInput(int input, float value) {
    for (long i = 0; i < kBlock; ++i) host->buffer(input)[i] = value;
  }

  // Every input holds kHeld, except the listed ones at `clock`; then one
  // status event per input at `clock`, in pin order with any one-shot input
  // last (it reads static again once its own event is over). Returns what
  // the last event made the module say.
  std::vector<CallbackCall> settle(const std::vector<InputState>& listed,
                                   uint32_t clock = kEventAt) {
    std::vector<state_type> states(size_t(inputs()), ST_STATIC);
    for (int k = 0; k < inputs(); ++k) fillInput(k, kHeld);
    for (const InputState& input : listed) {
      states[size_t(pin(input.pin))] = input.state;
      host->buffer(pin(input.pin))[clock - host->blockStartClock()] = input.value;
    }
    std::vector<int> order;
    for (int k = 0; k < inputs(); ++k)
      if (states[size_t(k)] != ST_ONE_SHOT) order.push_back(k);
    for (int k = 0; k < inputs(); ++k)
      if (states[size_t(k)] == ST_ONE_SHOT) order.push_back(k);
    for (const int k : order) {
      host->clearCalls();
      host->deliverStatusChange(k, states[size_t(k)], clock);
    }
    return host->calls();
  }

  // The state the last event announced; checks that it was announced once,
  // on the output pin, at the event's clock.
  long announced(uint32_t clock = kEventAt) {
    const std::vector<PinStatusAnnouncement> said = host->pinStatusAnnouncements();
    EXPECT_EQ(said.size(), 1u) << "announcements of one event";
    if (said.size() != 1) return -1;
    EXPECT_EQ(said[0].pin, output_pin());
    EXPECT_EQ(said[0].clock, clock);
    return said[0].state;
  }

  long outputState(const std::vector<InputState>& listed, uint32_t clock = kEventAt) {
    settle(listed, clock);
    return announced(clock);
  }

  // Input pins whose value the last event read (HOST_GET_BLOCK_START_CLOCK
  // is the first step of every read).
  std::set<long> pinsRead() const {
    std::set<long> read;
    for (const CallbackCall& call : host->callsOf(HOST_GET_BLOCK_START_CLOCK)) read.insert(call.index);
    return read;
  }

  std::unique_ptr<StandInHost> host;
};
RING_FOR_EVERY_BUILD(OutputState);

#define EXPECT_STATE(actual, expected) EXPECT_STREQ(state_name(actual), state_name(expected))

// ---- The worked examples --------------------------------------------------------

struct WorkedExample {
  const char* what;
  int fewest_inputs;  // builds with fewer inputs lack a pin the example names
  bool product_only;  // the 2-input build holds on B = 1, not on B = 0
  std::vector<InputState> inputs;
  state_type expected;
};

TEST_P(OutputState, WorkedExamples) {
  const float minus_zero = -0.0f;
  const std::vector<WorkedExample> examples = {
      {"A running, B static at 0", 3, true, {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, 0.0f}},
       ST_ONE_SHOT},
      {"A running, B static at 0.5", 2, false, {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, 0.5f}},
       ST_RUNNING},
      {"A static at 0.25, B static at 0.5", 2, false,
       {{A, ST_STATIC, 0.25f}, {B, ST_STATIC, 0.5f}}, ST_STATIC},
      {"A has just changed once, to 0.3", 2, false, {{A, ST_ONE_SHOT, 0.3f}}, ST_ONE_SHOT},
      {"every input static, A at 0", 2, false, {{A, ST_STATIC, 0.0f}}, ST_ONE_SHOT},
      {"every input static, the last at 0", 3, true, {{kLast, ST_STATIC, 0.0f}}, ST_ONE_SHOT},
      {"A running, its current sample exactly 0", 2, false, {{A, ST_RUNNING, 0.0f}}, ST_RUNNING},
      {"C running, the others static", 3, false, {{C, ST_RUNNING, 0.7f}}, ST_RUNNING},
      {"A running, F static at -0", 6, false, {{A, ST_RUNNING, 0.7f}, {F, ST_STATIC, minus_zero}},
       ST_ONE_SHOT},
      {"A static at NaN", 2, false, {{A, ST_STATIC, kNaN}}, ST_STATIC},
      {"A static at NaN, B running", 2, false, {{A, ST_STATIC, kNaN}, {B, ST_RUNNING, 0.7f}},
       ST_RUNNING},
      {"P running, the others static", 16, false, {{P, ST_RUNNING, 0.7f}}, ST_RUNNING},
      {"A running, P static at 0", 16, false, {{A, ST_RUNNING, 0.7f}, {P, ST_STATIC, 0.0f}},
       ST_ONE_SHOT},
  };
  for (const WorkedExample& example : examples) {
    if (inputs() < example.fewest_inputs || (example.product_only && inputs() == 2)) continue;
    SCOPED_TRACE(example.what);
    EXPECT_STATE(outputState(example.inputs), example.expected);
  }
}

// ---- Which value is read, and when ---------------------------------------------------

// The element the event's clock names decides, not its neighbours, wherever
// in the block the event falls.
TEST_P(OutputState, ReadsTheElementAtTheEventsClock) {
  for (int k = 0; k < inputs(); ++k) {
    for (const uint32_t offset : {0u, 1u, 13u, 63u}) {
      const uint32_t clock = kBlockStart + offset;
      const float hold = holdingValue(k);
      SCOPED_TRACE("input " + std::to_string(k) + ", element " + std::to_string(offset));

      settle({}, clock);  // every input static at kHeld
      fillInput(k, 0.7f);
      host->buffer(k)[offset] = hold;
      host->clearCalls();
      host->deliverStatusChange(k, ST_STATIC, clock);
      EXPECT_STATE(announced(clock), ST_ONE_SHOT) << "holding value at the element";

      fillInput(k, hold);
      host->buffer(k)[offset] = 0.7f;
      host->clearCalls();
      host->deliverStatusChange(k, ST_STATIC, clock);
      EXPECT_STATE(announced(clock), ST_STATIC) << "holding value only around the element";
    }
  }
}

// +0 and -0 hold the output; NaN and denormals do not. Each value on each
// input whose zero holds the output, as a static input beside static
// inputs, beside a running one, and as a one-shot input beside a running one.
TEST_P(OutputState, OnlyPlusAndMinusZeroCountAsZero) {
  struct Value {
    const char* what;
    float value;
    bool holds;
  };
  const std::vector<Value> values = {
      {"+0", 0.0f, true},
      {"-0", -0.0f, true},
      {"NaN", kNaN, false},
      {"-NaN", -kNaN, false},
      {"smallest denormal", kDenormal, false},
      {"negative denormal", -kDenormal, false},
      {"largest denormal", std::numeric_limits<float>::min() - kDenormal, false},
      {"smallest normal", std::numeric_limits<float>::min(), false},
  };
  for (int k = 0; k < inputs(); ++k) {
    if (!zeroHolds(k)) continue;
    const int other = (k + 1) % inputs();
    for (const Value& v : values) {
      SCOPED_TRACE(std::string(v.what) + " on input " + std::to_string(k));
      EXPECT_STATE(outputState({{k, ST_STATIC, v.value}}), v.holds ? ST_ONE_SHOT : ST_STATIC)
          << "others static";
      EXPECT_STATE(outputState({{k, ST_STATIC, v.value}, {other, ST_RUNNING, 0.7f}}),
                   v.holds ? ST_ONE_SHOT : ST_RUNNING)
          << "another running";
      EXPECT_STATE(outputState({{k, ST_ONE_SHOT, v.value}, {other, ST_RUNNING, 0.7f}}),
                   v.holds ? ST_ONE_SHOT : ST_RUNNING)
          << "one-shot, another running";
    }
  }
}

// Every static or one-shot input is read, each running input is not, not
// even when it happens to be at 0.
TEST_P(OutputState, RunningInputsAreNotRead) {
  for (int k = 0; k < inputs(); ++k) {
    SCOPED_TRACE("input " + std::to_string(k) + " running at 0");
    const float hold = holdingValue(k);
    EXPECT_STATE(outputState({{k, ST_RUNNING, hold}}), ST_RUNNING);
    std::set<long> expected;
    for (int j = 0; j < inputs(); ++j)
      if (j != k) expected.insert(j);
    EXPECT_EQ(pinsRead(), expected);
  }

  std::vector<InputState> all_running;
  for (int k = 0; k < inputs(); ++k) all_running.push_back({k, ST_RUNNING, holdingValue(k)});
  EXPECT_STATE(outputState(all_running), ST_RUNNING) << "every input running at its holding value";
  EXPECT_TRUE(pinsRead().empty());
}

// ---- The announcement ----------------------------------------------------------------------

// One announcement per event, on pin N, at the event's clock, also when
// nothing changed; never one on an input.
TEST_P(OutputState, AnnouncedOnceOnTheOutputAtEachEventsClock) {
  struct Event {
    int pin;
    state_type state;
    uint32_t clock;
    state_type expected;
  };
  const std::vector<Event> events = {
      {A, ST_RUNNING, kBlockStart + 3, ST_RUNNING},
      {A, ST_RUNNING, kBlockStart + 3, ST_RUNNING},  // the same again
      {kLast, ST_STATIC, kBlockStart + 40, ST_RUNNING},
      {A, ST_STATIC, kBlockStart + 41, ST_STATIC},
      {A, ST_STATIC, kBlockStart + 41, ST_STATIC},
      {kLast, ST_ONE_SHOT, kBlockStart + 63, ST_ONE_SHOT},
  };
  for (int k = 0; k < inputs(); ++k) fillInput(k, kHeld);
  for (size_t e = 0; e < events.size(); ++e) {
    SCOPED_TRACE("event " + std::to_string(e));
    host->clearCalls();
    host->deliverStatusChange(pin(events[e].pin), events[e].state, events[e].clock);
    EXPECT_STATE(announced(events[e].clock), events[e].expected);
  }
}

// Whichever pin an event names, the output pin included, the same inputs
// give the same announcement.
TEST_P(OutputState, ThePinOfTheEventHasNoInfluence) {
  struct Setting {
    const char* what;
    std::vector<InputState> inputs;
    state_type expected;
  };
  const std::vector<Setting> settings = {
      {"every input static", {}, ST_STATIC},
      {"A running", {{A, ST_RUNNING, 0.7f}}, ST_RUNNING},
      {"A running, the last holding", {{A, ST_RUNNING, 0.7f}, {kLast, ST_STATIC, 0.0f}},
       ST_ONE_SHOT},
  };
  for (const Setting& setting : settings) {
    std::vector<InputState> listed = setting.inputs;
    for (InputState& input : listed)
      if (input.pin == kLast) input.value = holdingValue(pin(kLast));
    settle(listed);
    std::vector<state_type> states(size_t(inputs()), ST_STATIC);
    for (const InputState& input : listed) states[size_t(pin(input.pin))] = input.state;

    for (int p = 0; p <= inputs(); ++p) {
      for (const state_type output_state : {ST_STATIC, ST_RUNNING}) {
        if (p < inputs() && output_state == ST_RUNNING) continue;
        SCOPED_TRACE(std::string(setting.what) + ", event for pin " + std::to_string(p));
        host->clearCalls();
        host->deliverStatusChange(p, p < inputs() ? states[size_t(p)] : output_state, kEventAt);
        EXPECT_STATE(announced(), setting.expected);
      }
    }
  }
}

// A one-shot input counts as one-shot for its own event only.
TEST_P(OutputState, AOneShotInputReadsStaticOnTheNextEvent) {
  for (int k = 0; k < inputs(); ++k) {
    const int other = (k + 1) % inputs();
    SCOPED_TRACE("input " + std::to_string(k));
    EXPECT_STATE(outputState({{k, ST_ONE_SHOT, 0.3f}}), ST_ONE_SHOT);
    host->clearCalls();
    host->deliverStatusChange(other, ST_STATIC, kEventAt + 1);
    EXPECT_STATE(announced(kEventAt + 1), ST_STATIC) << "next event, for input " << other;

    // Changed once to its holding value, it goes on holding the output.
    EXPECT_STATE(outputState({{k, ST_ONE_SHOT, holdingValue(k)}}), ST_ONE_SHOT);
    host->buffer(k)[kEventAt + 1 - kBlockStart] = holdingValue(k);
    host->clearCalls();
    host->deliverStatusChange(other, ST_STATIC, kEventAt + 1);
    EXPECT_STATE(announced(kEventAt + 1), ST_ONE_SHOT) << "still holding";
  }
}

// The block starts 16 samples before the clock wraps; the event comes 5
// samples after it, at element 21.
TEST_P(OutputState, TheClockMayWrapBetweenBlockStartAndEvent) {
  host->setBlockStartClock(0xfffffff0u);
  const uint32_t clock = 5;
  for (int k = 0; k < inputs(); ++k) {
    SCOPED_TRACE("input " + std::to_string(k));
    const float hold = holdingValue(k);
    settle({}, clock);
    fillInput(k, 0.7f);
    host->buffer(k)[21] = hold;
    host->clearCalls();
    host->deliverStatusChange(k, ST_STATIC, clock);
    EXPECT_STATE(announced(clock), ST_ONE_SHOT);

    fillInput(k, hold);
    host->buffer(k)[21] = 0.7f;
    host->clearCalls();
    host->deliverStatusChange(k, ST_STATIC, clock);
    EXPECT_STATE(announced(clock), ST_STATIC);
  }
}

// Each input in turn decides the state: running, it raises the output to
// running; holding, it makes the output one-shot despite a running one.
TEST_P(OutputState, EveryInputCounts) {
  for (int k = 0; k < inputs(); ++k) {
    const int other = (k + 1) % inputs();
    SCOPED_TRACE("input " + std::to_string(k));
    EXPECT_STATE(outputState({{k, ST_RUNNING, 0.7f}}), ST_RUNNING);
    EXPECT_STATE(outputState({{k, ST_STATIC, holdingValue(k)}, {other, ST_RUNNING, 0.7f}}),
                 ST_ONE_SHOT);
  }
}

// ---- The 2-input build: output A x (1 - B) ------------------------------------------------

class TwoInputOutputState : public OutputState {};
INSTANTIATE_TEST_SUITE_P(TwoInputBuild, TwoInputOutputState, ::testing::Values(2),
                         build_param_name);

// The higher of the two states, made one-shot where one input holds the
// output at zero: A at +0 or -0, or B at exactly 1 (1 - B is zero). B at 0
// passes A through and forces nothing; neither does a NaN.
TEST_P(TwoInputOutputState, HoldsOnAZeroAOrAUnitB) {
  struct Case {
    const char* what;
    std::vector<InputState> inputs;
    state_type expected;
  };
  const float just_above_one = 1.00000012f, just_below_one = 0.99999994f;
  const std::vector<Case> cases = {
      {"A running, B static at 0", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, 0.0f}}, ST_RUNNING},
      {"A running, B static at -0", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, -0.0f}}, ST_RUNNING},
      {"A running, B one-shot to 0", {{A, ST_RUNNING, 0.7f}, {B, ST_ONE_SHOT, 0.0f}}, ST_RUNNING},
      {"A static, B static at 0", {{A, ST_STATIC, 0.7f}, {B, ST_STATIC, 0.0f}}, ST_STATIC},
      {"A static, B one-shot to 0", {{A, ST_STATIC, 0.7f}, {B, ST_ONE_SHOT, 0.0f}}, ST_ONE_SHOT},
      {"A running, B static at 1", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, 1.0f}}, ST_ONE_SHOT},
      {"A running, B one-shot to 1", {{A, ST_RUNNING, 0.7f}, {B, ST_ONE_SHOT, 1.0f}}, ST_ONE_SHOT},
      {"A static, B static at 1", {{A, ST_STATIC, 0.7f}, {B, ST_STATIC, 1.0f}}, ST_ONE_SHOT},
      {"A static at 0, B static at 1", {{A, ST_STATIC, 0.0f}, {B, ST_STATIC, 1.0f}}, ST_ONE_SHOT},
      {"A running, B static just above 1", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, just_above_one}},
       ST_RUNNING},
      {"A running, B static just below 1", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, just_below_one}},
       ST_RUNNING},
      {"A running, B static at -1", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, -1.0f}}, ST_RUNNING},
      {"A running, B running at 1", {{A, ST_RUNNING, 0.7f}, {B, ST_RUNNING, 1.0f}}, ST_RUNNING},
      {"A static at +0, B running", {{A, ST_STATIC, 0.0f}, {B, ST_RUNNING, 0.7f}}, ST_ONE_SHOT},
      {"A static at -0, B running", {{A, ST_STATIC, -0.0f}, {B, ST_RUNNING, 0.7f}}, ST_ONE_SHOT},
      {"A one-shot to 0, B running", {{A, ST_ONE_SHOT, 0.0f}, {B, ST_RUNNING, 0.7f}}, ST_ONE_SHOT},
      {"A running at 0, B static", {{A, ST_RUNNING, 0.0f}, {B, ST_STATIC, 0.7f}}, ST_RUNNING},
      {"A static at 1, B running", {{A, ST_STATIC, 1.0f}, {B, ST_RUNNING, 0.7f}}, ST_RUNNING},
      {"A static at NaN, B running", {{A, ST_STATIC, kNaN}, {B, ST_RUNNING, 0.7f}}, ST_RUNNING},
      {"A running, B static at NaN", {{A, ST_RUNNING, 0.7f}, {B, ST_STATIC, kNaN}}, ST_RUNNING},
      {"both static at NaN", {{A, ST_STATIC, kNaN}, {B, ST_STATIC, kNaN}}, ST_STATIC},
      {"A static at a denormal, B running", {{A, ST_STATIC, kDenormal}, {B, ST_RUNNING, 0.7f}},
       ST_RUNNING},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_STATE(outputState(c.inputs), c.expected);
  }
}

// ---- Fewer pins than the module describes ------------------------------------------------------

// A host may answer a pin count below N + 1: then there is no output pin to
// announce on, and the missing inputs are never read. A read past the pin
// array reaches memory the host cannot see; the sanitizer build reports it.
TEST_P(OutputState, WithoutTheOutputPinNothingIsAnnouncedAndNoMissingPinRead) {
  std::set<long> pin_counts = {1, inputs() - 1, inputs()};
  for (const long count : pin_counts) {
    SCOPED_TRACE("pin count " + std::to_string(count));
    auto few = open_ring(inputs(), {kBlock, 0, count});
    ASSERT_TRUE(few);
    few->setBlockStartClock(kBlockStart);
    for (int k = 0; k < inputs(); ++k)
      for (long i = 0; i < kBlock; ++i) few->buffer(k)[i] = holdingValue(k);
    few->clearCalls();
    for (int p = 0; p < count; ++p) {
      few->deliverStatusChange(p, p == 0 ? ST_RUNNING : ST_STATIC, kEventAt);
      few->deliverStatusChange(p, ST_ONE_SHOT, kEventAt);
    }
    EXPECT_TRUE(few->pinStatusAnnouncements().empty());
    for (const CallbackCall& call : few->callsOf(HOST_GET_BLOCK_START_CLOCK))
      EXPECT_LT(call.index, count) << "read a pin the host did not create";
    EXPECT_FALSE(few->callsOf(HOST_GET_BLOCK_START_CLOCK).empty()) << "existing inputs are read";
  }
}

}  // namespace
