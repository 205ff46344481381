// Pin creation on MOD_OPEN, driven through a probe module with scripted
// descriptions and a scripted pin-count answer: which descriptions are asked,
// which pins are initialised from which description, and pin counts the
// module cannot or must not honour.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "sdk_probe.h"
#include "sdk_reports.h"
#include "stack_call.h"

using namespace sdktest;

namespace {

// What a pin should hold after open.
struct PinShape {
  enum Variable { description_variable, own_storage, none, not_initialised };
  Variable variable;
  int description = -1;  // for description_variable: whose variable
  int32_t datatype = 0;
};

PinShape from_description(int description, int32_t datatype) {
  return {PinShape::description_variable, description, datatype};
}
PinShape repeated(int32_t datatype) { return {PinShape::own_storage, -1, datatype}; }
PinShape untyped_repeat(int32_t datatype) { return {PinShape::none, -1, datatype}; }
PinShape default_constructed() { return {PinShape::not_initialised}; }

struct CreationCase {
  const char* label;
  std::vector<PlugScript> plugs;
  long pin_count;
  std::vector<PinShape> pins;
  std::vector<long> descriptions_asked;
  std::vector<long> buffers_asked;  // HOST_GET_PIN_BUFFER, by pin
};

bool inside(const void* address, const void* object, size_t size) {
  const auto* a = static_cast<const char*>(address);
  const auto* o = static_cast<const char*>(object);
  return a >= o && a < o + size;
}

std::vector<long> descriptions_asked(const ProbeLog& log) {
  std::vector<long> asked;
  for (const VirtualCall& call : log.of("getPinProperties")) asked.push_back(long(call.args[0]));
  return asked;
}

class PinCreation : public ::testing::TestWithParam<CreationCase> {
 protected:
  void SetUp() override { sehost::clear_failed_checks(); }
};

TEST_P(PinCreation, InitialisesPinsFromPinBearingDescriptionsInOrder) {
  const CreationCase& c = GetParam();
  ProbeHost probe_host(c.plugs);
  sehost::StandInHost& host = probe_host.host;
  ProbeModule& probe = probe_host.probe();
  host.setPinCount(c.pin_count);
  host.readDescriptions();
  probe_host.log.clear();

  host.open();

  EXPECT_EQ(descriptions_asked(probe_host.log), c.descriptions_asked);
  ASSERT_FALSE(host.calls().empty());
  const sehost::CallbackCall& first = host.calls().front();
  EXPECT_EQ(first.opcode, HOST_GET_PIN_COUNT);
  EXPECT_EQ(first.index, 0);
  EXPECT_EQ(first.value, 0);
  EXPECT_EQ(first.ptr, 0u);
  EXPECT_EQ(host.callsOf(HOST_GET_PIN_COUNT).size(), 1u);

  std::vector<long> buffers;
  for (const sehost::CallbackCall& call : host.callsOf(HOST_GET_PIN_BUFFER)) {
    buffers.push_back(call.index);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, 0u);
  }
  EXPECT_EQ(buffers, c.buffers_asked);

  ASSERT_EQ(long(c.pins.size()), c.pin_count);
  for (int p = 0; p < int(c.pins.size()); ++p) {
    SCOPED_TRACE("pin " + std::to_string(p));
    const PinShape& shape = c.pins[size_t(p)];
    SEPin* pin = probe.getPin(p);
    ASSERT_NE(pin, nullptr);
    if (shape.variable == PinShape::not_initialised) {
      EXPECT_EQ(pin->getModule(), nullptr);
      EXPECT_EQ(pin->getVariableAddress(), nullptr);
      continue;
    }
    EXPECT_EQ(pin->getModule(), &probe);
    EXPECT_EQ(pin->getIndex(), p);
    EXPECT_EQ(pin->getDataType(), shape.datatype);
    EXPECT_EQ(pin->getStatus(), ST_STATIC);
    switch (shape.variable) {
      case PinShape::description_variable:
        EXPECT_EQ(pin->getVariableAddress(), probe.variableOf(shape.description));
        break;
      case PinShape::own_storage:
        EXPECT_TRUE(inside(pin->getVariableAddress(), pin, sizeof *pin));
        if (shape.datatype == DT_FSAMPLE) {
          EXPECT_EQ(pin->getStorageWord(), sehost::word(host.buffer(p)));
        }
        break;
      case PinShape::none:
        EXPECT_EQ(pin->getVariableAddress(), nullptr);
        break;
      case PinShape::not_initialised:
        break;
    }
  }
  EXPECT_EQ(probe.getPin(int(c.pin_count)), nullptr) << "the array ends at the pin count";
  EXPECT_TRUE(reports().empty());
}

PlugScript ui_only(int32_t datatype) {
  return flagged(input_plug(datatype), IO_UI_COMMUNICATION);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PinCreation,
    ::testing::Values(
        CreationCase{"CountSmallerThanDescriptionsAsksOneMore",
                     {input_plug(5), input_plug(6), input_plug(8), input_plug(0), input_plug(4)},
                     3,
                     {from_description(0, 5), from_description(1, 6), from_description(2, 8)},
                     {0, 1, 2, 3, 2},
                     {}},
        CreationCase{"CountEqualToDescriptions",
                     {input_plug(5), input_plug(6), input_plug(8), input_plug(0), output_plug(4)},
                     5,
                     {from_description(0, 5), from_description(1, 6), from_description(2, 8),
                      from_description(3, 0), from_description(4, 4)},
                     {0, 1, 2, 3, 4, 5, 4},
                     {}},
        CreationCase{"CountLargerLeavesTheRestDefault",
                     {input_plug(), input_plug(), input_plug(), input_plug(), output_plug()},
                     7,
                     {from_description(0, 5), from_description(1, 5), from_description(2, 5),
                      from_description(3, 5), from_description(4, 5), default_constructed(),
                      default_constructed()},
                     {0, 1, 2, 3, 4, 5, 4},
                     {}},
        CreationCase{"UiOnlyPlugTakesNoPinNumber",
                     {input_plug(), ui_only(8), input_plug(), output_plug()},
                     5,
                     {from_description(0, 5), from_description(2, 5), from_description(3, 5),
                      default_constructed(), default_constructed()},
                     {0, 1, 2, 3, 4, 3},
                     {}},
        CreationCase{"RepeatableSampleOutputFillsTheRestWithHostBuffers",
                     {input_plug(), ui_only(8), input_plug(), flagged(output_plug(), IO_REPEATABLE)},
                     5,
                     {from_description(0, 5), from_description(2, 5), from_description(3, 5),
                      repeated(DT_FSAMPLE), repeated(DT_FSAMPLE)},
                     {0, 1, 2, 3, 4, 3},
                     {3, 4}},
        CreationCase{"RepeatableNonSampleOutputRepeatsItsType",
                     {input_plug(), ui_only(8), input_plug(), flagged(output_plug(6), IO_REPEATABLE)},
                     5,
                     {from_description(0, 5), from_description(2, 5), from_description(3, 6),
                      repeated(6), repeated(6)},
                     {0, 1, 2, 3, 4, 3},
                     {}},
        CreationCase{"RepeatableTypeWithoutStorageRepeatsWithoutVariable",
                     {input_plug(), flagged(output_plug(2), IO_REPEATABLE)},
                     3,
                     {from_description(0, 5), from_description(1, 2), untyped_repeat(2)},
                     {0, 1, 2, 1},
                     {}},
        CreationCase{"RepeatableUiOnlyLastIsNotRepeated",
                     {input_plug(), flagged(input_plug(5), IO_UI_COMMUNICATION | IO_REPEATABLE)},
                     3,
                     {from_description(0, 5), default_constructed(), default_constructed()},
                     {0, 1, 2, 1},
                     {}},
        CreationCase{"RepeatableBeyondTheCountIsNotReached",
                     {input_plug(6), input_plug(6), flagged(output_plug(), IO_REPEATABLE)},
                     2,
                     {from_description(0, 6), from_description(1, 6)},
                     {0, 1, 2, 1},
                     {}},
        CreationCase{"UiPlugWithPinGetsAPinUiOnlyDoesNot",
                     {flagged(input_plug(8), IO_UI_COMMUNICATION | IO_UI_WITH_PIN), ui_only(6),
                      input_plug()},
                     2,
                     {from_description(0, 8), from_description(2, 5)},
                     {0, 1, 2, 3, 2},
                     {}},
        CreationCase{"SamplePinsWithoutVariableAskForTheirBuffer",
                     {without_variable(input_plug()), input_plug(), without_variable(output_plug())},
                     3,
                     {repeated(DT_FSAMPLE), from_description(1, 5), repeated(DT_FSAMPLE)},
                     {0, 1, 2, 3, 2},
                     {0, 2}},
        CreationCase{"NoDescriptionsAsks0AndMinus1", {}, 2,
                     {default_constructed(), default_constructed()},
                     {0, -1},
                     {}}),
    [](const ::testing::TestParamInfo<CreationCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Pin counts that leave the instance without pins

class NoPins : public ::testing::TestWithParam<long> {
 protected:
  void SetUp() override { sehost::clear_failed_checks(); }
};

TEST_P(NoPins, InstanceKeepsWorkingWithoutPins) {
  ProbeHost probe_host({input_plug(), output_plug()});
  sehost::StandInHost& host = probe_host.host;
  ProbeModule& probe = probe_host.probe();
  probe.process_on_open = ProbeModule::Process::a;
  host.setPinCount(GetParam());
  host.readDescriptions();
  probe_host.log.clear();

  host.open();
  EXPECT_EQ(descriptions_asked(probe_host.log), (std::vector<long>{0, -1}));
  EXPECT_TRUE(host.callsOf(HOST_GET_PIN_BUFFER).empty());
  EXPECT_TRUE(reports().empty());

  EXPECT_EQ(probe.getPin(0), nullptr);
  EXPECT_EQ(reports(), (std::vector<Report>{from_base("m_pins != 0")}));
  sehost::clear_failed_checks();

  probe_host.log.clear();
  host.process(0, 8);
  EXPECT_EQ(probe_host.log.calls, (std::vector<VirtualCall>{{"process_a", {0, 8}}}));

  host.deliverStatusChange(0, ST_RUNNING, 0);
  EXPECT_EQ(reports(), (std::vector<Report>{from_base("m_pins != 0")}));
  EXPECT_TRUE(probe_host.log.of("OnPlugStateChange").empty());

  probe_host.log.clear();
  EXPECT_EQ(host.close(), 1);
  EXPECT_EQ(probe_host.log.calls, (std::vector<VirtualCall>{{"close", {}}, {"~ProbeModule", {}}}));
}

INSTANTIATE_TEST_SUITE_P(Counts, NoPins,
                         ::testing::Values(0L, -1L, LONG_MIN, 0x7fffffffL, 0x40000000L,
                                           0x10000000L));

// ---------------------------------------------------------------------------
// getPin

TEST(GetPin, HandsOutNoPointerOutsideThePinArray) {
  sehost::clear_failed_checks();
  ProbeHost probe_host({input_plug(), input_plug(), output_plug()});
  probe_host.host.open();
  ProbeModule& probe = probe_host.probe();
  for (int p = 0; p < 3; ++p) EXPECT_EQ(probe.getPin(p)->getIndex(), p);
  for (int outside : {-1, 3, 4, INT_MAX, INT_MIN}) {
    EXPECT_EQ(probe.getPin(outside), nullptr) << outside;
  }
  EXPECT_TRUE(reports().empty()) << "the pins exist; only m_pins is checked";
}

TEST(GetPin, BeforeOpenReportsThatThereAreNoPins) {
  sehost::clear_failed_checks();
  ProbeHost probe_host({input_plug()});
  EXPECT_EQ(probe_host.probe().getPin(0), nullptr);
  EXPECT_EQ(reports(), (std::vector<Report>{from_base("m_pins != 0")}));
}

}  // namespace
