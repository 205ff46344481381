// Timed events a module hands the host (AddEvent, RunDelayed) and their way
// back: the stand-in host copies each record while HOST_ADD_EVENT runs and
// delivers it unchanged through event_function when its clock reaches the
// time stamp, splitting the block there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "SEModule_base.h"
#include "failed_checks.h"
#include "stack_call.h"
#include "stand_in_host.h"

using namespace sehost;

namespace {

const char kClockCheck[] = "p_time_stamp >= SampleClock()";

// One call of the probe's processing function.
struct ProcessRun {
  uint32_t clock;
  long start;
  long count;
};

bool operator==(const ProcessRun& a, const ProcessRun& b) {
  return a.clock == b.clock && a.start == b.start && a.count == b.count;
}

void PrintTo(const ProcessRun& run, std::ostream* out) {
  *out << "{clock " << run.clock << ", start " << run.start << ", count " << run.count << "}";
}

// One delayed call as the called member function saw it.
struct DelayedCall {
  std::string name;
  const SEModule_base* on;
  uint32_t clock;
  long samples_before;  // samples processed before the call ran
};

// A module without pins that schedules whatever a test asks of it from
// inside a host command, and records what comes back.
class ScheduleProbe : public SEModule_base {
 public:
  ScheduleProbe(SEHostCallback callback, void* host_ptr) : SEModule_base(callback, host_ptr) {}

  void open() override {
    SEModule_base::open();
    setSubProcess(static_cast<process_function_ptr>(&ScheduleProbe::sub_process));
  }
  void OnGuiNotify(int, int, void*) override {
    if (on_command) on_command(*this);
  }
  void HandleEvent(SeEvent* e) override {
    delivered.push_back(*e);
    SEModule_base::HandleEvent(e);
  }

  void SE_CDECL sub_process(long start, long count) {
    runs.push_back({SampleClock(), start, count});
    processed += count;
    if (during_process) during_process(*this);
  }

  // Members for delayed calls.
  void first() {
    note("first");
    if (during_first) during_first(*this);
  }
  void second() { note("second"); }
  virtual void tick() { note("ScheduleProbe::tick"); }

  std::function<void(ScheduleProbe&)> on_command;
  std::function<void(ScheduleProbe&)> during_first;
  std::function<void(ScheduleProbe&)> during_process;
  std::vector<ProcessRun> runs;
  std::vector<SeEvent> delivered;
  std::vector<DelayedCall> delayed_calls;
  long processed = 0;

 protected:
  void note(const char* name) { delayed_calls.push_back({name, this, SampleClock(), processed}); }
};

class DerivedProbe : public ScheduleProbe {
 public:
  using ScheduleProbe::ScheduleProbe;
  void tick() override { note("DerivedProbe::tick"); }
};

template <typename MemberFunction>
SEModule_base::delayed_function_ptr delayed(MemberFunction function) {
  return static_cast<SEModule_base::delayed_function_ptr>(function);
}

// The first of the two words of a pointer to member function: the address
// of a non-virtual member, 1 + the slot offset of a virtual one.
uint32_t code_word(SEModule_base::delayed_function_ptr function) {
  uint32_t words[2];
  static_assert(sizeof words == sizeof function, "");
  std::memcpy(words, &function, sizeof words);
  return words[0];
}

void* as_pointer(uint32_t word) { return reinterpret_cast<void*>(static_cast<uintptr_t>(word)); }

std::string fields(const SeEvent& e) {
  char text[160];
  std::snprintf(text, sizeof text, "{time %u, type %d, %d, %d, ptr 0x%08x, reserved %d}",
                unsigned(e.time_stamp), int(e.event_type), int(e.int_param1), int(e.int_param2),
                unsigned(word(e.ptr_param)), int(e.reserved));
  return text;
}

// Leaves junk where the next call's locals will lie, so that a field the
// module forgets to set cannot read 0 by luck.
__attribute__((noinline)) void dirty_stack() {
  volatile unsigned char junk[2048];
  for (size_t i = 0; i < sizeof junk; ++i) junk[i] = 0xA5;
}

// ---------------------------------------------------------------------------
// makeModule functions: the plain one, one that gives the module no host
// callback, and one whose callback answers HOST_ADD_EVENT with a mark.

template <typename Probe>
SEMod_struct_base2* SE_CDECL make_probe(int index, int type, SEHostCallback callback,
                                        void* host_ptr) {
  if (index != 0 || type != 1) return nullptr;
  return (new Probe(callback, host_ptr))->getAeffect();
}

SEMod_struct_base2* SE_CDECL make_probe_without_callback(int index, int type, SEHostCallback,
                                                         void* host_ptr) {
  return make_probe<ScheduleProbe>(index, type, nullptr, host_ptr);
}

constexpr long kAddEventAnswer = 0x5eed;
SEHostCallback g_stand_in_callback = nullptr;

long SE_CDECL answer_add_event_with_mark(SEMod_struct_base2* record, long opcode, long index,
                                         long value, void* ptr, float opt) {
  const long answer = g_stand_in_callback(record, opcode, index, value, ptr, opt);
  return opcode == HOST_ADD_EVENT ? kAddEventAnswer : answer;
}

SEMod_struct_base2* SE_CDECL make_probe_answering_with_mark(int index, int type,
                                                            SEHostCallback callback,
                                                            void* host_ptr) {
  g_stand_in_callback = callback;
  return make_probe<ScheduleProbe>(index, type, &answer_add_event_with_mark, host_ptr);
}

// A stand-in host with one opened probe, blocks of 16 samples, a clean
// failed-check log and an empty call log.
struct ProbeHost {
  explicit ProbeHost(unsigned misalignment = 0,
                     MakeModuleFunction make_module = &make_probe<ScheduleProbe>,
                     uint32_t block_start = 1000)
      : host(make_module) {
    clear_failed_checks();
    host.setStackMisalignment(misalignment);
    created = host.create();
    EXPECT_TRUE(created);
    host.setBlockSize(16);
    host.open();
    host.setBlockStartClock(block_start);
    host.clearCalls();
  }

  ScheduleProbe& probe() { return *static_cast<ScheduleProbe*>(host.object()); }

  // Runs `action` on the module from inside a host command, as a module
  // would schedule from its dispatcher.
  void fromHostCommand(std::function<void(ScheduleProbe&)> action) {
    probe().on_command = std::move(action);
    host.dispatch(MOD_GUI_NOTIFY);
  }

  StandInHost host;
  bool created = false;
};

// ---------------------------------------------------------------------------
// AddEvent

TEST(AddEvent, HandsTheHostTheArgumentsInOrderAndGetsThemBackAtTheirClock) {
  // Event types the base ignores, so that only the round trip is seen.
  const SeEvent cases[] = {
      {1000, 1, 0, 0, nullptr},  // at the current clock
      {1003, 99, -7, 0x7fffffff, as_pointer(0x12345678)},
      {1015, -5, int32_t(0x80000000), -1, as_pointer(0xfffffffc)},
      {1016, 22, 3, 4, as_pointer(1)},  // first sample of the next block
  };
  for (unsigned misalignment : {0u, 4u}) {
    for (const SeEvent& sent : cases) {
      SCOPED_TRACE(fields(sent) + " misalignment " + std::to_string(misalignment));
      ProbeHost fixture(misalignment);
      std::vector<SeEvent> seen_during_call;
      fixture.host.onCallback([&](const CallbackCall& call) {
        if (call.opcode != HOST_ADD_EVENT) return;
        EXPECT_EQ(call.index, 0);
        EXPECT_EQ(call.value, 0);
        EXPECT_EQ(call.opt, 0.0f);
        // The record exists only while the call runs.
        seen_during_call.push_back(*static_cast<const SeEvent*>(as_pointer(call.ptr)));
      });
      long answer = -1;
      fixture.fromHostCommand([&](ScheduleProbe& probe) {
        dirty_stack();
        answer = probe.AddEvent(sent.time_stamp, sent.event_type, sent.int_param1,
                                sent.int_param2, sent.ptr_param);
      });

      EXPECT_EQ(answer, 0);  // the stand-in host's answer
      EXPECT_TRUE(failed_checks().empty());
      ASSERT_EQ(seen_during_call.size(), 1u);
      EXPECT_EQ(fields(seen_during_call[0]), fields(sent));
      ASSERT_EQ(fixture.host.addedEvents().size(), 1u);
      EXPECT_EQ(fields(fixture.host.addedEvents()[0]), fields(sent));

      fixture.host.runBlock(16);
      fixture.host.runBlock(16);
      ASSERT_EQ(fixture.probe().delivered.size(), 1u);
      EXPECT_EQ(fields(fixture.probe().delivered[0]), fields(sent));
      EXPECT_TRUE(failed_checks().empty()) << "delivered off its clock";
    }
  }
}

TEST(AddEvent, TimeBeforeTheClockIsReportedAsAnUnsignedComparison) {
  struct Case {
    uint32_t clock;
    uint32_t time;
    bool reported;
  };
  const Case cases[] = {
      {1000, 1000, false},
      {1000, 999, true},
      {1000, 0, true},
      {1000, 0xffffffff, false},  // far ahead, though negative as a signed number
      {0xfffffff0, 5, true},      // no wrap-around: 5 lies before the clock
      {0xfffffff0, 0xfffffff0, false},
      {0x7fffffff, 0x80000000, false},
      {0x80000000, 0x7fffffff, true},
  };
  for (const Case& c : cases) {
    for (bool delayed_call : {false, true}) {
      SCOPED_TRACE("clock " + std::to_string(c.clock) + " time " + std::to_string(c.time) +
                   (delayed_call ? " RunDelayed" : " AddEvent"));
      ProbeHost fixture(0, &make_probe<ScheduleProbe>, c.clock);
      fixture.fromHostCommand([&](ScheduleProbe& probe) {
        if (delayed_call) {
          probe.RunDelayed(c.time, delayed(&ScheduleProbe::second));
        } else {
          probe.AddEvent(c.time, 1, 0, 0, nullptr);
        }
      });

      if (c.reported) {
        ASSERT_EQ(failed_checks().size(), 1u);
        EXPECT_EQ(failed_checks()[0].expression, kClockCheck);
        EXPECT_EQ(failed_checks()[0].source, "SEModule_base");
      } else {
        EXPECT_TRUE(failed_checks().empty());
      }
      // Reported or not, the event goes to the host as asked.
      ASSERT_EQ(fixture.host.addedEvents().size(), 1u);
      EXPECT_EQ(fixture.host.addedEvents()[0].time_stamp, c.time);
    }
  }
}

TEST(AddEvent, AnswerIsTheHostsAndWithoutACallbackNothingIsCalledAndItIsZero) {
  struct Case {
    const char* name;
    MakeModuleFunction make_module;
    long expected_answer;
    size_t expected_events;
  };
  const Case cases[] = {
      {"host answering with a mark", &make_probe_answering_with_mark, kAddEventAnswer, 2},
      {"no host callback", &make_probe_without_callback, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeHost fixture(0, c.make_module);
    long add_event_answer = -1;
    long run_delayed_answer = -1;
    fixture.fromHostCommand([&](ScheduleProbe& probe) {
      add_event_answer = probe.AddEvent(1004, 1, 2, 3, nullptr);
      run_delayed_answer = probe.RunDelayed(1004, delayed(&ScheduleProbe::second));
    });
    EXPECT_EQ(add_event_answer, c.expected_answer);
    EXPECT_EQ(run_delayed_answer, c.expected_answer);
    EXPECT_EQ(fixture.host.addedEvents().size(), c.expected_events);
    if (c.expected_events == 0) {
      EXPECT_TRUE(fixture.host.calls().empty());
    }
    EXPECT_TRUE(failed_checks().empty());
  }
}

// ---------------------------------------------------------------------------
// RunDelayed

TEST(RunDelayed, HandsTheHostTimeTypeZerosAndTheCodeWordOnly) {
  const struct {
    const char* name;
    SEModule_base::delayed_function_ptr function;
    bool is_virtual;
  } cases[] = {
      {"non-virtual", delayed(&ScheduleProbe::second), false},
      {"virtual", delayed(&ScheduleProbe::tick), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeHost fixture;
    std::vector<SeEvent> seen_during_call;
    fixture.host.onCallback([&](const CallbackCall& call) {
      if (call.opcode == HOST_ADD_EVENT)
        seen_during_call.push_back(*static_cast<const SeEvent*>(as_pointer(call.ptr)));
    });
    fixture.fromHostCommand([&](ScheduleProbe& probe) {
      dirty_stack();
      probe.RunDelayed(1009, c.function);
    });

    const SeEvent expected(1009, EV_RUN_DELAYED, 0, 0, as_pointer(code_word(c.function)));
    ASSERT_EQ(seen_during_call.size(), 1u);
    EXPECT_EQ(fields(seen_during_call[0]), fields(expected));
    EXPECT_EQ(EV_RUN_DELAYED, 21);
    // A virtual member travels as its slot, not as an address.
    EXPECT_EQ(code_word(c.function) & 1u, c.is_virtual ? 1u : 0u);
  }
}

TEST(RunDelayed, RunsOnceOnTheModuleAtItsClockAfterTheSamplesBeforeIt) {
  struct Case {
    uint32_t block_start;
    long offset;  // of the delayed call in the block
    unsigned misalignment;
  };
  const Case cases[] = {
      {1000, 0, 0},  {1000, 5, 0},  {1000, 15, 0},
      {1000, 0, 4},  {1000, 5, 4},  {1000, 15, 4},
      {0xfffffff8, 6, 4},  // the block runs across the clock's wrap-around
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("block start " + std::to_string(c.block_start) + " offset " +
                 std::to_string(c.offset) + " misalignment " + std::to_string(c.misalignment));
    ProbeHost fixture(c.misalignment, &make_probe<ScheduleProbe>, c.block_start);
    const uint32_t t = c.block_start + uint32_t(c.offset);
    fixture.fromHostCommand(
        [&](ScheduleProbe& probe) { probe.RunDelayed(t, delayed(&ScheduleProbe::first)); });

    fixture.host.runBlock(16);
    ScheduleProbe& probe = fixture.probe();
    ASSERT_EQ(probe.delayed_calls.size(), 1u);
    EXPECT_EQ(probe.delayed_calls[0].name, "first");
    EXPECT_EQ(probe.delayed_calls[0].on, fixture.host.object());
    EXPECT_EQ(probe.delayed_calls[0].clock, t);
    EXPECT_EQ(probe.delayed_calls[0].samples_before, c.offset);

    std::vector<ProcessRun> expected_runs;
    if (c.offset > 0) expected_runs.push_back({c.block_start, 0, c.offset});
    expected_runs.push_back({t, c.offset, 16 - c.offset});
    EXPECT_EQ(probe.runs, expected_runs);

    ASSERT_EQ(probe.delivered.size(), 1u);
    EXPECT_EQ(probe.delivered[0].ptr_param,
              as_pointer(code_word(delayed(&ScheduleProbe::first))));
    EXPECT_TRUE(failed_checks().empty());

    fixture.host.runBlock(16);
    EXPECT_EQ(probe.delayed_calls.size(), 1u) << "a delayed call runs once";
    EXPECT_TRUE(fixture.host.queuedEvents().empty());
  }
}

TEST(RunDelayed, VirtualMemberReachesTheOverrideOfTheModulesOwnClass) {
  struct Case {
    const char* name;
    MakeModuleFunction make_module;
    const char* expected;
  };
  const Case cases[] = {
      {"base probe", &make_probe<ScheduleProbe>, "ScheduleProbe::tick"},
      {"derived probe", &make_probe<DerivedProbe>, "DerivedProbe::tick"},
  };
  for (unsigned misalignment : {0u, 4u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " misalignment " + std::to_string(misalignment));
      ProbeHost fixture(misalignment, c.make_module);
      // Named through the base probe's class, as a base class would schedule it.
      fixture.fromHostCommand(
          [](ScheduleProbe& probe) { probe.RunDelayed(1002, delayed(&ScheduleProbe::tick)); });
      fixture.host.runBlock(16);
      ASSERT_EQ(fixture.probe().delayed_calls.size(), 1u);
      EXPECT_EQ(fixture.probe().delayed_calls[0].name, c.expected);
      EXPECT_EQ(fixture.probe().delayed_calls[0].clock, 1002u);
    }
  }
}

// ---------------------------------------------------------------------------
// The stand-in host's queue

TEST(StandInHostEvents, EventAddedDuringDeliveryRunsAtItsClockInTheSameBlockOrWaits) {
  struct Case {
    uint32_t delay;       // of the second call after the first, which runs at 1004
    bool in_first_block;  // the block of 1000..1015
  };
  const Case cases[] = {{0, true}, {3, true}, {11, true}, {12, false}, {30, false}};
  for (unsigned misalignment : {0u, 4u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE("delay " + std::to_string(c.delay) + " misalignment " +
                   std::to_string(misalignment));
      ProbeHost fixture(misalignment);
      ScheduleProbe& probe = fixture.probe();
      probe.during_first = [&](ScheduleProbe& module) {
        module.RunDelayed(module.SampleClock() + c.delay, delayed(&ScheduleProbe::second));
      };
      fixture.fromHostCommand(
          [](ScheduleProbe& module) { module.RunDelayed(1004, delayed(&ScheduleProbe::first)); });

      fixture.host.runBlock(16);
      if (!c.in_first_block) {
        ASSERT_EQ(probe.delayed_calls.size(), 1u);
        ASSERT_EQ(fixture.host.queuedEvents().size(), 1u);
        EXPECT_EQ(fixture.host.queuedEvents()[0].time_stamp, 1004 + c.delay);
        fixture.host.runBlock(16);
        fixture.host.runBlock(16);
      }
      ASSERT_EQ(probe.delayed_calls.size(), 2u);
      const DelayedCall& second = probe.delayed_calls[1];
      EXPECT_EQ(second.name, "second");
      EXPECT_EQ(second.clock, 1004 + c.delay);
      EXPECT_EQ(second.samples_before, long(4 + c.delay));
      EXPECT_TRUE(fixture.host.queuedEvents().empty());
      EXPECT_TRUE(failed_checks().empty());
    }
  }
}

TEST(StandInHostEvents, EventsBeyondTheBlockStayQueuedUntilTheirBlock) {
  ProbeHost fixture(4);
  fixture.fromHostCommand([](ScheduleProbe& probe) {
    probe.RunDelayed(1040, delayed(&ScheduleProbe::second));  // third block, offset 8
    probe.RunDelayed(1021, delayed(&ScheduleProbe::first));   // second block, offset 5
  });
  ScheduleProbe& probe = fixture.probe();

  fixture.host.runBlock(16);
  EXPECT_TRUE(probe.delayed_calls.empty());
  EXPECT_EQ(fixture.host.queuedEvents().size(), 2u);
  EXPECT_EQ(probe.runs, (std::vector<ProcessRun>{{1000, 0, 16}}));

  fixture.host.runBlock(16);
  ASSERT_EQ(probe.delayed_calls.size(), 1u);
  EXPECT_EQ(probe.delayed_calls[0].name, "first");
  EXPECT_EQ(probe.delayed_calls[0].clock, 1021u);
  EXPECT_EQ(fixture.host.queuedEvents().size(), 1u);

  fixture.host.runBlock(16);
  ASSERT_EQ(probe.delayed_calls.size(), 2u);
  EXPECT_EQ(probe.delayed_calls[1].name, "second");
  EXPECT_EQ(probe.delayed_calls[1].clock, 1040u);
  EXPECT_EQ(probe.delayed_calls[1].samples_before, 40);
  EXPECT_EQ(probe.runs, (std::vector<ProcessRun>{{1000, 0, 16},
                                          {1016, 0, 5},
                                          {1021, 5, 11},
                                          {1032, 0, 8},
                                          {1040, 8, 8}}));
  EXPECT_TRUE(failed_checks().empty());
}

TEST(StandInHostEvents, CopyOfTheAddedRecordOutlivesTheModulesLocalRecord) {
  const SeEvent first(1003, 99, 1, 2, as_pointer(0x1111));
  const SeEvent second(1003, 98, 3, 4, as_pointer(0x2222));
  ProbeHost fixture(4);
  std::vector<uint32_t> module_records;
  fixture.host.onCallback([&](const CallbackCall& call) {
    if (call.opcode == HOST_ADD_EVENT) module_records.push_back(call.ptr);
  });
  fixture.fromHostCommand([&](ScheduleProbe& probe) {
    // The second record most likely reuses the first one's stack slot.
    probe.AddEvent(first.time_stamp, first.event_type, first.int_param1, first.int_param2,
                   first.ptr_param);
    probe.AddEvent(second.time_stamp, second.event_type, second.int_param1, second.int_param2,
                   second.ptr_param);
    dirty_stack();
  });
  dirty_stack();

  ASSERT_EQ(module_records.size(), 2u);
  ASSERT_EQ(fixture.host.queuedEvents().size(), 2u);
  for (const SeEvent& queued : fixture.host.queuedEvents())
    for (uint32_t record : module_records) EXPECT_NE(word(&queued), record);

  fixture.host.runBlock(16);
  const std::vector<SeEvent>& delivered = fixture.probe().delivered;
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(fields(delivered[0]), fields(first));
  EXPECT_EQ(fields(delivered[1]), fields(second));
}

}  // namespace

TEST(StandInHostQueue, SetsAsideAnEventAddedForAClockTheRunHasAlreadyPassed) {
  ProbeHost fixture;
  ScheduleProbe& probe = fixture.probe();
  // The clock reads the run's start during processing, so a time inside the
  // run passes the module's check but cannot be delivered at its clock.
  probe.during_process = [](ScheduleProbe& module) {
    module.during_process = nullptr;
    module.AddEvent(module.SampleClock() + 5, 1, 0, 0, nullptr);
    module.AddEvent(module.SampleClock() + 20, 1, 0, 0, nullptr);  // next block
  };
  fixture.host.runBlock(16);
  ASSERT_EQ(fixture.host.missedEvents().size(), 1u);
  EXPECT_EQ(fixture.host.missedEvents()[0].time_stamp, 1005u);
  ASSERT_EQ(fixture.host.queuedEvents().size(), 1u);
  EXPECT_EQ(fixture.host.queuedEvents()[0].time_stamp, 1020u);
  fixture.host.runBlock(16);
  ASSERT_EQ(probe.delivered.size(), 1u);
  EXPECT_EQ(probe.delivered[0].time_stamp, 1020u);
  EXPECT_TRUE(failed_checks().empty());
}
