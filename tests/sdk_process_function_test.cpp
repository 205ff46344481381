// Switching the processing function: the host hears of every real change
// once, after the record already holds the new entry, and calls what the
// record holds.
#include <gtest/gtest.h>

#include <vector>

#include "sdk_probe.h"
#include "sdk_reports.h"

using namespace sdktest;
using Process = ProbeModule::Process;

namespace {

void* code_of(Process process) { return code_word(ProbeModule::processFunction(process)); }

struct Step {
  Process select;
  int announcements_so_far;
};

struct SwitchCase {
  const char* label;
  std::vector<Step> steps;
};

class SetSubProcess : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SetSubProcess, AnnouncesEachRealChangeOnceWithTheRecordAlreadyUpdated) {
  ProbeHost probe_host({input_plug(), output_plug()});
  sehost::StandInHost& host = probe_host.host;
  host.open();
  host.clearCalls();
  std::vector<void*> entry_when_told;
  host.onCallback([&](const sehost::CallbackCall& call) {
    if (call.opcode != HOST_SET_PROCESS_FUNCTION) return;
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, 0u);
    entry_when_told.push_back(reinterpret_cast<void*>(host.record()->process_function));
  });

  std::vector<void*> expected_entries;
  void* current = code_of(Process::idle);
  for (const Step& step : GetParam().steps) {
    if (code_of(step.select) != current) expected_entries.push_back(code_of(step.select));
    current = code_of(step.select);
    probe_host.probe().select(step.select);

    EXPECT_EQ(int(host.callsOf(HOST_SET_PROCESS_FUNCTION).size()), step.announcements_so_far);
    EXPECT_EQ(reinterpret_cast<void*>(host.record()->process_function), current);
    // What the host calls now is what was selected.
    probe_host.log.clear();
    host.process(1, 4);
    if (step.select == Process::idle) {
      EXPECT_TRUE(probe_host.log.calls.empty());
    } else {
      const char* name = step.select == Process::a ? "process_a" : "process_b";
      EXPECT_EQ(probe_host.log.calls, (std::vector<VirtualCall>{{name, {1, 4}}}));
    }
  }
  EXPECT_EQ(entry_when_told, expected_entries);
  host.onCallback(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SetSubProcess,
    ::testing::Values(
        SwitchCase{"IdleOnAFreshInstanceSendsNothing", {{Process::idle, 0}, {Process::idle, 0}}},
        SwitchCase{"SameFunctionTwiceIsAnnouncedOnce", {{Process::a, 1}, {Process::a, 1}}},
        SwitchCase{"EveryRealChangeIsAnnounced",
                   {{Process::a, 1},
                    {Process::b, 2},
                    {Process::b, 2},
                    {Process::idle, 3},
                    {Process::idle, 3},
                    {Process::a, 4}}}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.label); });

TEST(SetSubProcessInOpen, IsAnnouncedAfterThePinsExist) {
  ProbeHost probe_host({input_plug(), without_variable(output_plug())});
  sehost::StandInHost& host = probe_host.host;
  probe_host.probe().process_on_open = Process::a;
  host.open();

  std::vector<long> opcodes;
  for (const sehost::CallbackCall& call : host.calls()) opcodes.push_back(call.opcode);
  EXPECT_EQ(opcodes, (std::vector<long>{HOST_GET_PIN_COUNT, HOST_GET_PIN_BUFFER,
                                        HOST_SET_PROCESS_FUNCTION}));
  EXPECT_EQ(reinterpret_cast<void*>(host.processFunction()), code_of(Process::a));
}

}  // namespace
