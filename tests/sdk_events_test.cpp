// Event delivery through the record's event entry, with a probe module:
// stream-state changes reach their pin, MIDI reaches OnMidiData, other types
// do nothing, and events the host should not send are handled safely.
#include <gtest/gtest.h>

#include <vector>

#include "sdk_probe.h"
#include "sdk_reports.h"
#include "stack_call.h"

using namespace sdktest;

namespace {

void* pin_number(uint32_t pin) { return reinterpret_cast<void*>(uintptr_t(pin)); }

// A probe with five pins, opened.
class Events : public ::testing::Test {
 protected:
  void SetUp() override {
    sehost::clear_failed_checks();
    host.open();
    host.clearCalls();
    probe_host.log.clear();
  }

  std::vector<state_type> statuses() {
    std::vector<state_type> all;
    for (int p = 0; p < 5; ++p) all.push_back(probe.getPin(p)->getStatus());
    return all;
  }

  // Calls the event entry as the host does, but without moving the clock.
  void deliverAtTheCurrentClock(SeEvent* event) {
    sehost::call_cdecl(reinterpret_cast<const void*>(host.record()->event_function),
                       {sehost::word(host.object()), sehost::word(event)}, 0);
  }

  // Only the time check may ask anything of the host.
  void expectOnlyTheClockWasAsked() {
    for (const sehost::CallbackCall& call : host.calls())
      EXPECT_EQ(call.opcode, HOST_GET_SAMPLE_CLOCK);
  }

  ProbeHost probe_host{{input_plug(), input_plug(), input_plug(), input_plug(), output_plug()}};
  sehost::StandInHost& host = probe_host.host;
  ProbeModule& probe = probe_host.probe();
};

// ---------------------------------------------------------------------------
// EV_STATUS_CHANGE

struct StatusCase {
  state_type sent, seen_during, after;
};

class StatusChangeEvent : public Events, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusChangeEvent, ReachesThePinNamedInPtrParam) {
  const StatusCase& c = GetParam();
  std::vector<state_type> seen;
  probe.on_plug_state_change = [&](SEPin* pin) { seen.push_back(pin->getStatus()); };

  host.deliver(SeEvent(200, EV_STATUS_CHANGE, c.sent, 0, pin_number(3)));

  EXPECT_EQ(probe_host.log.calls,
            (std::vector<VirtualCall>{{"OnPlugStateChange", {3, double(c.seen_during)}}}));
  EXPECT_EQ(seen, (std::vector<state_type>{c.seen_during}));
  EXPECT_EQ(statuses(),
            (std::vector<state_type>{ST_STATIC, ST_STATIC, ST_STATIC, c.after, ST_STATIC}));
  EXPECT_TRUE(reports().empty());
}

INSTANTIATE_TEST_SUITE_P(States, StatusChangeEvent,
                         ::testing::Values(StatusCase{ST_RUNNING, ST_RUNNING, ST_RUNNING},
                                           StatusCase{ST_ONE_SHOT, ST_ONE_SHOT, ST_STATIC},
                                           StatusCase{ST_STATIC, ST_STATIC, ST_STATIC}));

class StatusChangeOutsideThePins : public Events, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(StatusChangeOutsideThePins, IsIgnored) {
  host.deliver(SeEvent(10, EV_STATUS_CHANGE, ST_RUNNING, 0, pin_number(GetParam())));
  EXPECT_TRUE(probe_host.log.calls.empty());
  EXPECT_EQ(statuses(), std::vector<state_type>(5, ST_STATIC));
  EXPECT_TRUE(reports().empty());
  expectOnlyTheClockWasAsked();
}

INSTANTIATE_TEST_SUITE_P(PinNumbers, StatusChangeOutsideThePins,
                         ::testing::Values(5u, 6u, 1000u, 0x7FFFFFFFu, 0x80000000u,
                                           0xFFFFFFFFu));

TEST(StatusChangeWithoutPins, ReportsAndIsIgnored) {
  sehost::clear_failed_checks();
  ProbeHost probe_host({input_plug(), output_plug()});
  probe_host.host.deliver(SeEvent(0, EV_STATUS_CHANGE, ST_RUNNING, 0, pin_number(0)));
  EXPECT_EQ(reports(), (std::vector<Report>{from_base("m_pins != 0")}));
  EXPECT_TRUE(probe_host.log.calls.empty());
}

TEST(StatusChangeOnAPinOpenLeftUninitialised, DoesNotReachTheModule) {
  sehost::clear_failed_checks();
  ProbeHost probe_host({input_plug(), output_plug()});
  probe_host.host.setPinCount(4);  // two more than the descriptions yield
  probe_host.host.open();
  probe_host.log.clear();
  probe_host.host.deliver(SeEvent(0, EV_STATUS_CHANGE, ST_RUNNING, 0, pin_number(3)));
  EXPECT_TRUE(probe_host.log.calls.empty());
  EXPECT_TRUE(reports().empty());
}

// ---------------------------------------------------------------------------
// EV_MIDI

struct MidiCase {
  int32_t int_param1, int_param2;
  double data, extra;
};

class MidiEvent : public Events, public ::testing::WithParamInterface<MidiCase> {};

TEST_P(MidiEvent, PassesTimeDataAndTheLow16BitsSigned) {
  const MidiCase& c = GetParam();
  host.deliver(SeEvent(1234, EV_MIDI, c.int_param1, c.int_param2, pin_number(3)));
  EXPECT_EQ(probe_host.log.calls,
            (std::vector<VirtualCall>{{"OnMidiData", {1234, c.data, c.extra}}}));
  EXPECT_EQ(statuses(), std::vector<state_type>(5, ST_STATIC));
  EXPECT_TRUE(reports().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, MidiEvent,
    ::testing::Values(MidiCase{0x90407F, 65535, 0x90407F, -1}, MidiCase{0x90407F, 65536, 0x90407F, 0},
                      MidiCase{0x90407F, 0x12345, 0x90407F, 0x2345},
                      MidiCase{0x90407F, 32767, 0x90407F, 32767},
                      MidiCase{0x90407F, 32768, 0x90407F, -32768},
                      MidiCase{-1, -1, 4294967295.0, -1}, MidiCase{0, 0, 0, 0}));

// ---------------------------------------------------------------------------
// Other types, bad time stamps, no event

class IgnoredEventType : public Events, public ::testing::WithParamInterface<int32_t> {};

TEST_P(IgnoredEventType, ChangesNothing) {
  const std::vector<uint8_t> record_before(reinterpret_cast<uint8_t*>(host.record()),
                                           reinterpret_cast<uint8_t*>(host.record() + 1));
  // Parameters that would change pin 3 if the event were taken for a state change.
  host.deliver(SeEvent(77, GetParam(), ST_RUNNING, 65535, pin_number(3)));
  EXPECT_TRUE(probe_host.log.calls.empty());
  EXPECT_EQ(statuses(), std::vector<state_type>(5, ST_STATIC));
  EXPECT_TRUE(reports().empty());
  expectOnlyTheClockWasAsked();
  EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(host.record()),
                                 reinterpret_cast<uint8_t*>(host.record() + 1)),
            record_before);
}

INSTANTIATE_TEST_SUITE_P(Types, IgnoredEventType,
                         ::testing::Values(1, 3, 6, 20, 22, -1, 1000, INT32_MIN));

struct LateCase {
  uint32_t clock, time_stamp;
};

class EventOffTheClock : public Events, public ::testing::WithParamInterface<LateCase> {};

TEST_P(EventOffTheClock, ReportsAndIsStillHandled) {
  host.setBlockStartClock(GetParam().clock);
  SeEvent event(GetParam().time_stamp, EV_STATUS_CHANGE, ST_RUNNING, 0, pin_number(1));
  deliverAtTheCurrentClock(&event);
  EXPECT_EQ(reports(), (std::vector<Report>{from_base("e->time_stamp == SampleClock()")}));
  EXPECT_EQ(probe.getPin(1)->getStatus(), ST_RUNNING);
}

INSTANTIATE_TEST_SUITE_P(Clocks, EventOffTheClock,
                         ::testing::Values(LateCase{100, 99}, LateCase{100, 101},
                                           LateCase{0, 0xFFFFFFFFu}));

TEST_F(Events, EventAtTheClockPassesTheTimeCheck) {
  host.setBlockStartClock(100);
  SeEvent event(100, EV_STATUS_CHANGE, ST_RUNNING, 0, pin_number(1));
  deliverAtTheCurrentClock(&event);
  EXPECT_TRUE(reports().empty());
  ASSERT_EQ(host.callsOf(HOST_GET_SAMPLE_CLOCK).size(), 1u);
}

TEST_F(Events, NullEventDoesNothing) {
  deliverAtTheCurrentClock(nullptr);
  EXPECT_TRUE(host.calls().empty());
  EXPECT_TRUE(probe_host.log.calls.empty());
  EXPECT_TRUE(reports().empty());
}

}  // namespace
