// The two exports and the failed-check path of every real library: the
// index and type cases, what getModuleProperties writes and leaves, a record
// made without a host callback, and reports that reach the stand-in host's
// recorder from inside the library (under wine through its msvcrt import).
#include <gtest/gtest.h>

#include <cstring>

#include "failed_checks.h"
#include "plugins.h"
#include "stack_call.h"
#include "stand_in_host.h"

using namespace sehost;

namespace {

class Exports : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    std::string error;
    library = ModuleLibrary::load(ringtest::plugin_path(GetParam()), &error);
    ASSERT_TRUE(library) << error;
    clear_failed_checks();
  }
  std::unique_ptr<ModuleLibrary> library;
};

constexpr int32_t kUntouched = 0x5a5a5a5a;

SEModuleProperties filled_properties() {
  SEModuleProperties properties;
  std::memset(&properties, 0x5a, sizeof properties);
  return properties;
}

SEMod_struct_base2* make(MakeModuleFunction make_module, int index, int type,
                         SEHostCallback callback) {
  return reinterpret_cast<SEMod_struct_base2*>(
      call_cdecl(reinterpret_cast<const void*>(make_module),
                 {word(index), word(type), word(reinterpret_cast<const void*>(callback)),
                  word(nullptr)},
                 4));
}

long dispatch(SEMod_struct_base2* record, long opcode, long index = 0, void* ptr = nullptr) {
  return long(call_cdecl(reinterpret_cast<const void*>(record->dispatch_function),
                         {word(record), word(opcode), word(index), word(0L), word(ptr),
                          word(0.0f)},
                         4));
}

TEST_P(Exports, PropertiesForAnotherIndexWriteOnlyTheVersion) {
  for (int index : {1, -1, 7}) {
    SEModuleProperties properties = filled_properties();
    EXPECT_EQ(call_cdecl(reinterpret_cast<const void*>(library->getModuleProperties()),
                         {word(index), word(&properties)}, 4),
              0u);
    EXPECT_EQ(properties.sdk_version, 2230);
    SEModuleProperties expected = filled_properties();
    expected.sdk_version = 2230;
    EXPECT_EQ(std::memcmp(&properties, &expected, sizeof properties), 0) << "index " << index;
  }
}

TEST_P(Exports, PropertiesForIndexZeroWriteFourSlotsAndLeaveTheRest) {
  SEModuleProperties properties = filled_properties();
  EXPECT_EQ(library->getModuleProperties()(0, &properties), 1);
  EXPECT_NE(properties.name, nullptr);
  EXPECT_NE(properties.unique_id, nullptr);
  EXPECT_NE(properties.about, nullptr);
  EXPECT_EQ(properties.sdk_version, 2230);
  EXPECT_EQ(properties.host_slot_12, kUntouched);
  EXPECT_EQ(properties.host_slot_16, kUntouched);
  EXPECT_EQ(library->getModuleProperties()(0, nullptr), 0);
}

TEST_P(Exports, MakeModuleAnswersNullForAnotherIndexOrType) {
  for (auto [index, type] : {std::pair{0, 2}, {1, 1}, {0, 0}, {-1, 1}})
    EXPECT_EQ(make(library->makeModule(), index, type, nullptr), nullptr)
        << index << ", " << type;
}

TEST_P(Exports, WithoutACallbackTheInstanceOpensWithoutPinsAndCloses) {
  SEMod_struct_base2* record = make(library->makeModule(), 0, 1, nullptr);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->magic, 0x5345504cu);
  EXPECT_EQ(record->version, 1);
  EXPECT_EQ(dispatch(record, MOD_OPEN), 0);
  // No pins: a status change is reported and ignored.
  SeEvent event(0, EV_STATUS_CHANGE, ST_RUNNING, 0, nullptr);
  call_cdecl(reinterpret_cast<const void*>(record->event_function),
             {word(record->object), word(&event)}, 4);
  ASSERT_EQ(failed_checks().size(), 1u);
  EXPECT_EQ(failed_checks()[0].expression, "m_pins != 0");
  EXPECT_EQ(failed_checks()[0].source, "SEModule_base");
  EXPECT_EQ(dispatch(record, MOD_CLOSE), 1);
}

TEST_P(Exports, FailedChecksReachTheHostFromInsideTheLibrary) {
  EXPECT_TRUE(library->reportsFailedChecks());
  StandInHost host(*library);
  host.setStackMisalignment(12);
  ASSERT_TRUE(host.create());
  host.open();
  EXPECT_EQ(host.dispatch(7, 0), 0);
  EXPECT_EQ(host.dispatch(10, 0), 0);
  ASSERT_EQ(failed_checks().size(), 2u);
  for (const FailedCheck& report : failed_checks()) {
    EXPECT_EQ(report.expression, "false");
    EXPECT_EQ(report.source, "SEModule_base");
  }
  // A host passing no description record gets 0 and no check.
  EXPECT_EQ(host.dispatch(MOD_GET_PIN_PROPERTIES, 0, 0, nullptr), 0);
  // A null event does nothing.
  call_cdecl(reinterpret_cast<const void*>(host.record()->event_function),
             {word(host.object()), word(nullptr)}, 4);
  EXPECT_EQ(failed_checks().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(EveryBuild, Exports, ::testing::ValuesIn(ringtest::all_input_counts()),
                         [](const auto& info) { return "N" + std::to_string(info.param); });

}  // namespace
