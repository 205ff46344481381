// SEPin on its own: Init with and without a variable for every data type,
// getValue against the block-start clock, the stream-state update, and the
// per-pin host services with their checks.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "sdk_probe.h"
#include "sdk_reports.h"
#include "stack_call.h"

using namespace sdktest;
using sehost::CallbackCall;

namespace {

bool inside(const void* address, const void* object, size_t size) {
  const auto* a = static_cast<const char*>(address);
  const auto* o = static_cast<const char*>(object);
  return a >= o && a < o + size;
}

// A probe with host buffers for pins 0 to 3: pin 0 bound to a variable of
// the probe's, pin 1 without one (its buffer comes from the host), pin 2 a
// non-sample pin, pin 3 the output.
class Pin : public ::testing::Test {
 protected:
  void SetUp() override {
    sehost::clear_failed_checks();
    probe.process_on_open = ProbeModule::Process::a;
    host.open();
    host.clearCalls();
    probe_host.log.clear();
  }
  void TearDown() override {
    for (const CallbackCall& call : host.calls()) EXPECT_EQ(call.opt, 0.0f);
  }

  // Leaves the pin's storage and status far from what Init sets.
  void dirty(SEPin& pin) {
    pin.Init(&probe, 1, DT_FSAMPLE, nullptr);
    pin.OnStatusUpdate(ST_RUNNING);
    ASSERT_NE(pin.getStorageWord(), 0u);
    host.clearCalls();
    probe_host.log.clear();
  }

  ProbeHost probe_host{{input_plug(), without_variable(input_plug()), input_plug(8), output_plug()}};
  sehost::StandInHost& host = probe_host.host;
  ProbeModule& probe = probe_host.probe();
};

// ---------------------------------------------------------------------------
// Init

class PinInitWithVariable : public Pin, public ::testing::WithParamInterface<int32_t> {};

TEST_P(PinInitWithVariable, KeepsTheVariableZeroesStorageAndAsksNothing) {
  SEPin pin;
  dirty(pin);
  int32_t variable = 77;
  pin.Init(&probe, 2, EPlugDataType(GetParam()), &variable);

  EXPECT_EQ(pin.getVariableAddress(), &variable);
  EXPECT_EQ(pin.getStorageWord(), 0u);
  EXPECT_EQ(pin.getModule(), &probe);
  EXPECT_EQ(pin.getIndex(), 2);
  EXPECT_EQ(pin.getDataType(), GetParam());
  EXPECT_EQ(pin.getStatus(), ST_STATIC);
  EXPECT_EQ(variable, 77) << "the module's variable is the host's to fill";
  EXPECT_TRUE(host.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(DataTypes, PinInitWithVariable,
                         ::testing::Values(0, 1, 4, DT_FSAMPLE, 6, 7, 8, 9, -1));

struct StorageCase {
  int32_t datatype;
  int storage_bytes;  // 0: no storage, no variable
};

class PinInitWithoutVariable : public Pin, public ::testing::WithParamInterface<StorageCase> {};

TEST_P(PinInitWithoutVariable, KeepsAZeroOfItsTypeOrNothing) {
  const StorageCase& c = GetParam();
  SEPin pin;
  dirty(pin);
  pin.Init(&probe, 2, EPlugDataType(c.datatype), nullptr);

  EXPECT_EQ(pin.getStatus(), ST_STATIC);
  EXPECT_TRUE(host.calls().empty());
  if (c.storage_bytes == 0) {
    EXPECT_EQ(pin.getVariableAddress(), nullptr);
    return;
  }
  ASSERT_NE(pin.getVariableAddress(), nullptr);
  EXPECT_TRUE(inside(pin.getVariableAddress(), &pin, sizeof pin));
  uint8_t value[4] = {1, 1, 1, 1};
  std::memcpy(value, pin.getVariableAddress(), size_t(c.storage_bytes));
  for (int i = 0; i < c.storage_bytes; ++i) EXPECT_EQ(value[i], 0) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(DataTypes, PinInitWithoutVariable,
                         ::testing::Values(StorageCase{0, 2}, StorageCase{1, 0}, StorageCase{2, 0},
                                           StorageCase{3, 0}, StorageCase{4, 1},
                                           StorageCase{6, 4}, StorageCase{7, 0},
                                           StorageCase{8, 4}, StorageCase{9, 0},
                                           StorageCase{100, 0}, StorageCase{-1, 0},
                                           StorageCase{INT_MIN, 0}));

TEST_F(Pin, SamplePinWithoutVariableAsksForItsBufferOnce) {
  SEPin pin;
  pin.Init(&probe, 1, DT_FSAMPLE, nullptr);
  ASSERT_EQ(host.calls().size(), 1u);
  const CallbackCall& call = host.calls()[0];
  EXPECT_EQ(call.opcode, HOST_GET_PIN_BUFFER);
  EXPECT_EQ(call.index, 1);
  EXPECT_EQ(call.value, 0);
  EXPECT_EQ(call.ptr, 0u);
  EXPECT_EQ(pin.getStorageWord(), sehost::word(host.buffer(1)));
  EXPECT_TRUE(inside(pin.getVariableAddress(), &pin, sizeof pin));

  host.buffer(1)[0] = 0.75f;
  host.setBlockStartClock(40);
  EXPECT_EQ(pin.getValue(), 0.75f);
  EXPECT_EQ(host.callsOf(HOST_GET_PIN_BUFFER).size(), 1u) << "never asked again";
}

TEST_F(Pin, SamplePinWhoseHostGaveNoBufferReadsZero) {
  SEPin pin;
  pin.Init(&probe, 9, DT_FSAMPLE, nullptr);  // the host has no buffer for pin 9
  ASSERT_EQ(host.callsOf(HOST_GET_PIN_BUFFER).size(), 1u);
  EXPECT_EQ(pin.getStorageWord(), 0u);
  EXPECT_EQ(pin.getValue(), 0.0f);
  EXPECT_TRUE(reports().empty());
}

// ---------------------------------------------------------------------------
// getValue

struct ValueCase {
  int pin;  // 0: through the module's variable, 1: through the pin's storage
  uint32_t block_start;
  long offset;
};

class PinValue : public Pin, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(PinValue, ReadsTheSampleAtTheCurrentClock) {
  const ValueCase& c = GetParam();
  for (int i = 0; i < 16; ++i) host.buffer(c.pin)[i] = 100.0f + float(i);
  std::vector<float> seen;
  probe.on_process = [&](ProbeModule& module, long, long) {
    seen.push_back(module.getPin(c.pin)->getValue());
  };
  host.setBlockStartClock(c.block_start);
  host.process(c.offset, 1);

  EXPECT_EQ(seen, (std::vector<float>{100.0f + float(c.offset)}));
  const std::vector<CallbackCall> starts = host.callsOf(HOST_GET_BLOCK_START_CLOCK);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].index, c.pin);
  EXPECT_EQ(host.callsOf(HOST_GET_SAMPLE_CLOCK).size(), 1u);
  EXPECT_TRUE(reports().empty());
}

INSTANTIATE_TEST_SUITE_P(Clocks, PinValue,
                         ::testing::Values(ValueCase{0, 0, 0}, ValueCase{0, 1000, 0},
                                           ValueCase{0, 1000, 5}, ValueCase{1, 1000, 0},
                                           ValueCase{1, 1000, 5},
                                           ValueCase{0, 0xFFFFFFFEu, 5},
                                           ValueCase{1, 0xFFFFFFFEu, 5}));

struct NonSampleCase {
  int32_t datatype;
  bool with_variable;
};

class PinValueOfNonSamplePin : public Pin, public ::testing::WithParamInterface<NonSampleCase> {};

TEST_P(PinValueOfNonSamplePin, ReportsAndReadsNoBuffer) {
  const NonSampleCase& c = GetParam();
  SEPin pin;
  dirty(pin);
  int32_t variable = 0x1234;  // not a buffer address
  pin.Init(&probe, 2, EPlugDataType(c.datatype), c.with_variable ? &variable : nullptr);
  host.setBlockStartClock(50);

  EXPECT_EQ(pin.getValue(), 0.0f);
  EXPECT_EQ(reports(), (std::vector<Report>{from_pin("m_datatype == DT_FSAMPLE")}));
}

INSTANTIATE_TEST_SUITE_P(DataTypes, PinValueOfNonSamplePin,
                         ::testing::Values(NonSampleCase{8, true}, NonSampleCase{8, false},
                                           NonSampleCase{0, false}, NonSampleCase{6, false},
                                           NonSampleCase{1, false}, NonSampleCase{4, true}));

// ---------------------------------------------------------------------------
// Stream state

struct UpdateCase {
  state_type before, received, seen_during, after;
};

class PinStatusUpdate : public Pin, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(PinStatusUpdate, ModuleSeesTheNewStateAndAOneShotEndsStatic) {
  const UpdateCase& c = GetParam();
  SEPin& pin = *probe.getPin(0);
  pin.OnStatusUpdate(c.before);
  probe_host.log.clear();
  std::vector<state_type> seen;
  probe.on_plug_state_change = [&](SEPin* changed) { seen.push_back(changed->getStatus()); };

  pin.OnStatusUpdate(c.received);

  EXPECT_EQ(seen, (std::vector<state_type>{c.seen_during}));
  EXPECT_EQ(probe_host.log.calls,
            (std::vector<VirtualCall>{{"OnPlugStateChange", {0, double(c.seen_during)}}}));
  EXPECT_EQ(pin.getStatus(), c.after);
  EXPECT_TRUE(host.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    States, PinStatusUpdate,
    ::testing::Values(UpdateCase{ST_RUNNING, ST_ONE_SHOT, ST_ONE_SHOT, ST_STATIC},
                      UpdateCase{ST_STATIC, ST_ONE_SHOT, ST_ONE_SHOT, ST_STATIC},
                      UpdateCase{ST_STATIC, ST_RUNNING, ST_RUNNING, ST_RUNNING},
                      UpdateCase{ST_RUNNING, ST_STATIC, ST_STATIC, ST_STATIC}));

struct TransmitCase {
  state_type status, sent;
  uint32_t clock;
};

class PinTransmitStatus : public Pin, public ::testing::WithParamInterface<TransmitCase> {};

TEST_P(PinTransmitStatus, AnnouncesWithoutChangingTheOwnStatus) {
  const TransmitCase& c = GetParam();
  SEPin& pin = *probe.getPin(3);
  pin.OnStatusUpdate(c.status);
  host.clearCalls();

  pin.TransmitStatusChange(c.clock, c.sent);

  ASSERT_EQ(host.calls().size(), 1u);
  const CallbackCall& call = host.calls()[0];
  EXPECT_EQ(call.opcode, HOST_SET_PIN_STATUS);
  EXPECT_EQ(call.index, 3);
  EXPECT_EQ(call.value, c.sent);
  EXPECT_EQ(call.ptr, c.clock);
  EXPECT_EQ(pin.getStatus(), c.status);
}

INSTANTIATE_TEST_SUITE_P(States, PinTransmitStatus,
                         ::testing::Values(TransmitCase{ST_STATIC, ST_RUNNING, 7},
                                           TransmitCase{ST_RUNNING, ST_STATIC, 0xDEADBEEFu},
                                           TransmitCase{ST_STATIC, ST_ONE_SHOT, 0}));

// ---------------------------------------------------------------------------
// MIDI out and connection

struct MidiCase {
  uint32_t now, sampleclock;
  bool reported;
};

class PinTransmitMidi : public Pin, public ::testing::WithParamInterface<MidiCase> {};

TEST_P(PinTransmitMidi, SendsAndReportsATimeBeforeTheClock) {
  const MidiCase& c = GetParam();
  host.setBlockStartClock(c.now);
  probe.getPin(2)->TransmitMIDI(c.sampleclock, 0x90407F00u);

  if (c.reported) {
    EXPECT_EQ(reports(), (std::vector<Report>{from_pin("sampleclock >= m_module->SampleClock()")}));
  } else {
    EXPECT_TRUE(reports().empty());
  }
  const std::vector<CallbackCall> sent = host.callsOf(HOST_SEND_MIDI);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].index, 2);
  EXPECT_EQ(uint32_t(sent[0].value), 0x90407F00u);
  EXPECT_EQ(sent[0].ptr, c.sampleclock);
}

INSTANTIATE_TEST_SUITE_P(Clocks, PinTransmitMidi,
                         ::testing::Values(MidiCase{100, 100, false}, MidiCase{100, 101, false},
                                           MidiCase{100, 99, true}, MidiCase{0, 0, false},
                                           MidiCase{5, 0xFFFFFFFFu, false},
                                           MidiCase{0xFFFFFFFFu, 0, true}));

struct ConnectedCase {
  long answer;
  bool connected;
};

class PinIsConnected : public Pin, public ::testing::WithParamInterface<ConnectedCase> {};

TEST_P(PinIsConnected, AnyNonZeroAnswerMeansConnected) {
  host.setConnectedAnswer(GetParam().answer);
  EXPECT_EQ(probe.getPin(3)->IsConnected(), GetParam().connected);
  ASSERT_EQ(host.calls().size(), 1u);
  const CallbackCall& call = host.calls()[0];
  EXPECT_EQ(call.opcode, HOST_IS_PIN_CONNECTED);
  EXPECT_EQ(call.index, 3);
  EXPECT_EQ(call.value, 0);
  EXPECT_EQ(call.ptr, 0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, PinIsConnected,
                         ::testing::Values(ConnectedCase{2, true}, ConnectedCase{-1, true},
                                           ConnectedCase{0, false}, ConnectedCase{1, true},
                                           ConnectedCase{LONG_MIN, true}));

}  // namespace
