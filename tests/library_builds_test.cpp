// The seven module libraries as a host meets them: each one's texts, pin
// table and output, loaded from the built files (the real .sem DLLs under
// wine in the Windows build).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "failed_checks.h"
#include "plugins.h"
#include "stand_in_host.h"

using namespace sehost;

namespace {

struct ExpectedBuild {
  int inputs;
  const char* name;
  const char* unique_id;
  bool g_defaults_to_zero;
};

// Written out here, character for character, rather than taken from the
// build table that the libraries are made from.
const ExpectedBuild kExpected[] = {
    {2, "KVD Ring 02", "KVD Double ring modulator", false},
    {3, "KVD Ring 03", "KVD Tripple ring modulator", false},
    {4, "KVD Ring 04", "KVD Quadra ring modulator", false},
    {6, "KVD Ring 06", "KVD Hexa ring modulator", false},
    {8, "KVD Ring 08", "KVD Octa ring modulator", false},
    {12, "KVD Ring 12", "KVD Dodeca ring modulator", true},
    {16, "KVD Ring 16", "KVD Hexadeca ring modulator", true},
};

std::string build_name(const testing::TestParamInfo<ExpectedBuild>& info) {
  return "ring" + std::to_string(info.param.inputs);
}

class Library : public testing::TestWithParam<ExpectedBuild> {
 protected:
  void SetUp() override {
    std::string error;
    library = ModuleLibrary::load(ringtest::plugin_path(GetParam().inputs), &error);
    ASSERT_TRUE(library) << error;
    clear_failed_checks();
  }
  void TearDown() override {
    for (const FailedCheck& check : failed_checks())
      ADD_FAILURE() << "failed check: " << check.expression << " (" << check.source << ")";
  }
  std::unique_ptr<ModuleLibrary> library;
};

}  // namespace

TEST_P(Library, TextsAreItsRowsCharacterForCharacter) {
  const ModuleTexts texts = read_module_texts(library->getModuleProperties(), 4);
  EXPECT_TRUE(texts.ok);
  EXPECT_EQ(texts.name, GetParam().name);
  EXPECT_EQ(texts.unique_id, GetParam().unique_id);
  EXPECT_EQ(texts.about, "by Tarnwick");
  EXPECT_EQ(texts.sdk_version, 2230);
}

TEST_P(Library, DescribesItsInputsThenOut) {
  const int n = GetParam().inputs;
  StandInHost host(*library);
  host.setStackMisalignment(4);
  ASSERT_TRUE(host.create());
  const std::vector<SEPinProperties>& pins = host.readDescriptions();
  ASSERT_EQ(pins.size(), size_t(n + 1));
  for (int k = 0; k < n; ++k) {
    SCOPED_TRACE("input " + std::to_string(k));
    const bool zero = k == 0 || (k == 6 && GetParam().g_defaults_to_zero);
    EXPECT_EQ(std::string(pins[k].name), std::string(1, char('A' + k)));
    EXPECT_EQ(pins[k].direction, DR_IN);
    EXPECT_EQ(pins[k].datatype, DT_FSAMPLE);
    ASSERT_NE(pins[k].default_value, nullptr);
    EXPECT_STREQ(pins[k].default_value, zero ? "0" : "5");
  }
  EXPECT_STREQ(pins[n].name, "Out");
  EXPECT_EQ(pins[n].direction, DR_OUT);
  EXPECT_EQ(pins[n].datatype, DT_FSAMPLE);

  // "Out" has no default: the host's own value stays where it was.
  SEPinProperties record;
  std::memset(&record, 0, sizeof record);
  const char* sentinel = "host's own";
  record.default_value = sentinel;
  EXPECT_EQ(host.dispatch(MOD_GET_PIN_PROPERTIES, n, 0, &record), 1);
  EXPECT_EQ(record.default_value, sentinel);
}

// The 2-input build is A x (1 - B); the others multiply every input.
TEST_P(Library, OutputsItsFormula) {
  const int n = GetParam().inputs;
  StandInHost host(*library);
  host.setStackMisalignment(4);
  ASSERT_TRUE(host.create());
  host.setBlockSize(8);
  host.open();
  ASSERT_EQ(host.pins().size(), size_t(n + 1));
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < 8; ++i) host.buffer(k)[i] = (n == 2 && k == 1) ? 0.25f : 0.5f;
  host.runBlock(8);
  const float expected = n == 2 ? 0.375f : float(std::ldexp(1.0, -n));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(host.buffer(n)[i], expected) << "sample " << i;
  EXPECT_EQ(host.close(), 1);
}

INSTANTIATE_TEST_SUITE_P(AllSeven, Library, testing::ValuesIn(kExpected), build_name);
