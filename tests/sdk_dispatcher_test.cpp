// The record and its dispatcher, driven through a probe module: what each
// opcode calls and answers, the description check of MOD_GET_PIN_PROPERTIES,
// MOD_GET_INFO, MOD_CLOSE, and the instance as makeModule leaves it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "sdk_probe.h"
#include "sdk_reports.h"

using namespace sdktest;
using sehost::StandInHost;

namespace {

std::vector<uint8_t> bytes_of(const void* address, size_t size) {
  const auto* first = static_cast<const uint8_t*>(address);
  return std::vector<uint8_t>(first, first + size);
}

bool lies_within(const void* address, const void* object, size_t size) {
  const auto* a = static_cast<const uint8_t*>(address);
  const auto* o = static_cast<const uint8_t*>(object);
  return a >= o && a < o + size;
}

void* const kSomePointer = reinterpret_cast<void*>(uintptr_t(0x12345678));

class Dispatcher : public ::testing::Test {
 protected:
  void SetUp() override { sehost::clear_failed_checks(); }
  void TearDown() override {
    // The module passes 0.0 as `opt` in every callback it makes.
    for (const sehost::CallbackCall& call : probe_host.host.calls()) EXPECT_EQ(call.opt, 0.0f);
  }

  ProbeHost probe_host{{input_plug(), output_plug()}};
  StandInHost& host = probe_host.host;
  ProbeLog& log = probe_host.log;
};

// ---------------------------------------------------------------------------
// Opcodes other than open, close, descriptions and info

struct OpcodeCase {
  const char* label;
  long opcode, index, value;
  void* ptr;
  float opt;
  long result;
  std::vector<VirtualCall> calls;
  std::vector<Report> reports;
  float sample_rate_after = 44100.0f;
  long block_size_after = 1024;
};

class DispatcherOpcode : public Dispatcher, public ::testing::WithParamInterface<OpcodeCase> {};

TEST_P(DispatcherOpcode, CallsAnswersAndTouchesNothingElse) {
  const OpcodeCase& c = GetParam();
  host.open();
  log.clear();
  host.clearCalls();
  const std::vector<uint8_t> record_before = bytes_of(host.record(), sizeof(SEMod_struct_base2));

  EXPECT_EQ(host.dispatch(c.opcode, c.index, c.value, c.ptr, c.opt), c.result);

  EXPECT_EQ(log.calls, c.calls);
  EXPECT_EQ(reports(), c.reports);
  EXPECT_TRUE(host.calls().empty()) << "no opcode here asks anything of the host";
  EXPECT_EQ(bytes_of(host.record(), sizeof(SEMod_struct_base2)), record_before);
  EXPECT_EQ(probe_host.probe().getSampleRate(), c.sample_rate_after);
  EXPECT_EQ(probe_host.probe().getBlockSize(), c.block_size_after);
}

const Report kFalse = from_base("false");
const double kSome = as_arg(kSomePointer);

INSTANTIATE_TEST_SUITE_P(
    Opcodes, DispatcherOpcode,
    ::testing::Values(
        OpcodeCase{"SampleRateFromTheFloatOnly", MOD_SET_SAMPLE_RATE, 3, 96000, kSomePointer,
                   48000.0f, 0, {{"setSampleRate", {48000.0}}}, {}, 48000.0f},
        OpcodeCase{"BlockSizeFromTheValue", MOD_SET_BLOCK_SIZE, 5, 256, kSomePointer, 7.0f, 0,
                   {{"setBlockSize", {256}}}, {}, 44100.0f, 256},
        OpcodeCase{"Opcode4", 4, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"Opcode5", 5, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"Opcode9", 9, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"Opcode11", 11, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"Opcode14", 14, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"OpcodeMinus1", -1, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"Opcode1000", 1000, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"OpcodeLongMin", LONG_MIN, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"OpcodeLongMax", LONG_MAX, 1, 2, kSomePointer, 1.0f, 0, {}, {}},
        OpcodeCase{"ResumeIndex0", MOD_RESUME, 0, 9, nullptr, 0.0f, 0, {{"Resume", {}}}, {}},
        OpcodeCase{"ResumeIndexNegative", MOD_RESUME, -1, 9, nullptr, 0.0f, 0,
                   {{"Resume", {}}}, {}},
        OpcodeCase{"ResumeIndexLongMin", MOD_RESUME, LONG_MIN, 9, nullptr, 0.0f, 0,
                   {{"Resume", {}}}, {}},
        OpcodeCase{"ResumeIndex1", MOD_RESUME, 1, 9, nullptr, 0.0f, 0,
                   {{"Resume", {}}, {"VoiceReset", {1}}}, {}},
        OpcodeCase{"ResumeIndex3", MOD_RESUME, 3, 9, nullptr, 0.0f, 0,
                   {{"Resume", {}}, {"VoiceReset", {3}}}, {}},
        OpcodeCase{"Opcode7ReportsThenResumes", 7, 3, 9, nullptr, 0.0f, 0,
                   {{"Resume", {}}, {"VoiceReset", {3}}}, {kFalse}},
        OpcodeCase{"Opcode7Index0ReportsThenResumesOnly", 7, 0, 9, nullptr, 0.0f, 0,
                   {{"Resume", {}}}, {kFalse}},
        OpcodeCase{"GuiNotifyValueIndexPtr", MOD_GUI_NOTIFY, 7, 3, kSomePointer, 2.0f, 0,
                   {{"OnGuiNotify", {3, 7, kSome}}}, {}},
        OpcodeCase{"GuiNotifyNegativesAndNull", MOD_GUI_NOTIFY, -2, -9, nullptr, 0.0f, 0,
                   {{"OnGuiNotify", {-9, -2, 0}}}, {}},
        OpcodeCase{"Opcode10ReportsThenNotifies", 10, 7, 3, kSomePointer, 0.0f, 0,
                   {{"OnGuiNotify", {3, 7, kSome}}}, {kFalse}}),
    [](const ::testing::TestParamInfo<OpcodeCase>& info) { return std::string(info.param.label); });

TEST_F(Dispatcher, OpenAnswers0AndRunsOpen) {
  log.clear();
  EXPECT_EQ(host.dispatch(MOD_OPEN), 0);
  ASSERT_FALSE(log.calls.empty());
  EXPECT_EQ(log.calls.front(), (VirtualCall{"open", {}}));
}

// ---------------------------------------------------------------------------
// MOD_CLOSE

TEST_F(Dispatcher, CloseRunsCloseBeforeAnyDestructorAndAnswers1) {
  host.open();
  log.clear();
  host.clearCalls();
  EXPECT_EQ(host.close(), 1);
  EXPECT_EQ(log.calls, (std::vector<VirtualCall>{{"close", {}}, {"~ProbeModule", {}}}));
  EXPECT_TRUE(host.calls().empty()) << "nothing is sent to the host while the object goes";
}

TEST_F(Dispatcher, CloseBeforeOpenAlsoAnswers1) {
  log.clear();
  EXPECT_EQ(host.close(), 1);
  EXPECT_EQ(log.calls, (std::vector<VirtualCall>{{"close", {}}, {"~ProbeModule", {}}}));
}

// ---------------------------------------------------------------------------
// MOD_GET_INFO

struct InfoWords {
  int32_t one, delegate_size;
  void* const* delegate;
  int32_t id;
};

InfoWords read_info(long address) {
  InfoWords words;
  std::memcpy(&words, reinterpret_cast<const void*>(uintptr_t(address)), sizeof words);
  return words;
}

TEST_F(Dispatcher, InfoIsOneRecordThatNamesTheInstanceAskedLast) {
  ProbeHost other;
  other.probe().select(ProbeModule::Process::b);

  const long first = host.dispatch(MOD_GET_INFO);
  ASSERT_NE(first, 0);
  const InfoWords a = read_info(first);
  EXPECT_EQ(a.one, 1);
  EXPECT_EQ(a.delegate_size, 8);
  EXPECT_EQ(a.id, 1002);
  EXPECT_TRUE(lies_within(a.delegate, host.object(), sizeof(ProbeModule)));
  // The instance's live delegate: code word of its current function, no adjustment.
  EXPECT_EQ(a.delegate[0], reinterpret_cast<void*>(host.record()->process_function));
  EXPECT_EQ(a.delegate[0], code_word(&SEModule_base::process_idle));
  EXPECT_EQ(a.delegate[1], nullptr);

  const long second = other.host.dispatch(MOD_GET_INFO);
  EXPECT_EQ(second, first);
  const InfoWords b = read_info(second);
  EXPECT_EQ(b.one, 1);
  EXPECT_EQ(b.delegate_size, 8);
  EXPECT_EQ(b.id, 1002);
  EXPECT_TRUE(lies_within(b.delegate, other.host.object(), sizeof(ProbeModule)));
  EXPECT_NE(b.delegate, a.delegate);
  EXPECT_EQ(b.delegate[0], code_word(&ProbeModule::process_b));
  EXPECT_EQ(b.delegate[0], reinterpret_cast<void*>(other.host.record()->process_function));
  EXPECT_TRUE(reports().empty());
}

// ---------------------------------------------------------------------------
// MOD_GET_PIN_PROPERTIES and its description check

struct StoredInputCase {
  const char* label;
  uint32_t flags;
  EDirection direction;
  bool reported;
};

// Where the flags and direction that the check reads come from.
enum class Source { description, host_record_described_plug, host_record_undescribed_plug };

const char* source_name(Source source) {
  switch (source) {
    case Source::description:
      return "InDescription";
    case Source::host_record_described_plug:
      return "AsFoundDescribed";
    case Source::host_record_undescribed_plug:
      break;
  }
  return "AsFoundUndescribed";
}

using DescriptionCase = std::tuple<StoredInputCase, Source>;

class DescriptionCheck : public Dispatcher,
                         public ::testing::WithParamInterface<DescriptionCase> {};

TEST_P(DescriptionCheck, ReportsAStoredInputThatIsNeitherPrivateNorAUiPlug) {
  const StoredInputCase& c = std::get<0>(GetParam());
  const Source source = std::get<1>(GetParam());
  ProbeModule& probe = probe_host.probe();
  if (source == Source::description) {
    probe.plugs = {flagged(plug_of(c.direction, 8), c.flags)};
  } else {
    // A description that writes neither flags nor direction.
    probe.plugs = {plug_of(std::nullopt, 8)};
  }
  const long plug = source == Source::host_record_undescribed_plug ? 1 : 0;

  SEPinProperties record;
  std::memset(&record, 0xA5, sizeof record);
  if (source != Source::description) {
    record.flags = c.flags;
    record.direction = c.direction;
  }
  const std::vector<uint8_t> before = bytes_of(&record, sizeof record);

  const long answer = host.dispatch(MOD_GET_PIN_PROPERTIES, plug, 0, &record);

  EXPECT_EQ(answer, source == Source::host_record_undescribed_plug ? 0 : 1);
  if (c.reported) {
    EXPECT_EQ(reports(), (std::vector<Report>{from_base(kStoredInputCheck)}));
  } else {
    EXPECT_TRUE(reports().empty());
  }
  EXPECT_EQ(record.flags, c.flags);
  EXPECT_EQ(record.direction, c.direction);
  if (source == Source::host_record_undescribed_plug) {
    EXPECT_EQ(bytes_of(&record, sizeof record), before) << "an undescribed plug writes nothing";
  }
}

INSTANTIATE_TEST_SUITE_P(
    FlagCases, DescriptionCheck,
    ::testing::Combine(
        ::testing::Values(
            StoredInputCase{"StoredInput", IO_PATCH_STORE, DR_IN, true},
            StoredInputCase{"StoredPrivateInput", IO_PATCH_STORE | IO_PRIVATE, DR_IN, false},
            StoredInputCase{"StoredUiInput", IO_PATCH_STORE | IO_UI_COMMUNICATION, DR_IN, false},
            StoredInputCase{"StoredOutput", IO_PATCH_STORE, DR_OUT, false},
            StoredInputCase{"StoredRepeatableInput", IO_PATCH_STORE | IO_REPEATABLE, DR_IN, true},
            StoredInputCase{"StoredUiWithPinOnlyInput", IO_PATCH_STORE | IO_UI_WITH_PIN, DR_IN,
                            true},
            StoredInputCase{"NoFlagsInput", 0, DR_IN, false},
            StoredInputCase{"NoFlagsOutput", 0, DR_OUT, false},
            StoredInputCase{"PrivateInputNotStored", IO_PRIVATE, DR_IN, false}),
        ::testing::Values(Source::description, Source::host_record_described_plug,
                          Source::host_record_undescribed_plug)),
    [](const ::testing::TestParamInfo<DescriptionCase>& info) {
      return std::string(std::get<0>(info.param).label) + "_" +
             source_name(std::get<1>(info.param));
    });

TEST_F(Dispatcher, DescriptionLeavesWhatItDoesNotWriteAsTheHostPassedIt) {
  probe_host.probe().plugs = {plug_of(std::nullopt, 6)};
  SEPinProperties record;
  std::memset(&record, 0x5A, sizeof record);
  SEPinProperties expected = record;

  EXPECT_EQ(host.dispatch(MOD_GET_PIN_PROPERTIES, 0, 0, &record), 1);

  expected.variable_address = probe_host.probe().variableOf(0);
  expected.datatype = EPlugDataType(6);
  expected.name = "plug";
  EXPECT_EQ(bytes_of(&record, sizeof record), bytes_of(&expected, sizeof expected));
  EXPECT_EQ(log.of("getPinProperties"), (std::vector<VirtualCall>{{"getPinProperties", {0}}}));
}

TEST_F(Dispatcher, DescriptionWithoutARecordAnswers0AndAsksAndChecksNothing) {
  log.clear();
  EXPECT_EQ(host.dispatch(MOD_GET_PIN_PROPERTIES, 0, 0, nullptr), 0);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_TRUE(reports().empty());
}

// ---------------------------------------------------------------------------
// The instance as construction leaves it

TEST_F(Dispatcher, ConstructionFillsTheRecordAndCallsNothingBack) {
  const SEMod_struct_base2& record = *host.record();
  EXPECT_EQ(bytes_of(&record.magic, 4), (std::vector<uint8_t>{0x4C, 0x50, 0x45, 0x53}));
  EXPECT_EQ(record.version, 1);
  EXPECT_EQ(record.host_ptr, static_cast<void*>(&host));
  EXPECT_EQ(record.object, static_cast<SEModule_base*>(&probe_host.probe()));
  EXPECT_EQ(record.reserved, 0);
  EXPECT_EQ(record.dispatch_function, &dispatchEffectClass);
  EXPECT_EQ(reinterpret_cast<void*>(record.process_function),
            code_word(&SEModule_base::process_idle));
  EXPECT_EQ(reinterpret_cast<void*>(record.event_function),
            code_word(&SEModule_base::private_HandleEvent));
  EXPECT_EQ(bytes_of(record.reserved_tail, 16), std::vector<uint8_t>(16, 0));

  EXPECT_EQ(probe_host.probe().getSampleRate(), 44100.0f);
  EXPECT_EQ(probe_host.probe().getBlockSize(), 1024);
  EXPECT_TRUE(host.calls().empty());
  EXPECT_TRUE(log.calls.empty());
}

TEST_F(Dispatcher, ProcessingBeforeOpenRunsTheIdleFunctionAndTouchesNothing) {
  host.readDescriptions();
  log.clear();
  const std::vector<uint8_t> record_before = bytes_of(host.record(), sizeof(SEMod_struct_base2));
  host.process(0, 16);
  host.process(3, -1);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_TRUE(host.calls().empty());
  EXPECT_EQ(bytes_of(host.record(), sizeof(SEMod_struct_base2)), record_before);
}

}  // namespace
