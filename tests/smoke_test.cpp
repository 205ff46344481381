#include <gtest/gtest.h>

#include "failed_checks.h"
#include "plugins.h"
#include "stand_in_host.h"

using namespace sehost;

TEST(Smoke, Ring3LoadsOpensProcessesCloses) {
  std::string error;
  auto library = ModuleLibrary::load(ringtest::plugin_path(3), &error);
  ASSERT_TRUE(library) << error;
  ModuleTexts texts = read_module_texts(library->getModuleProperties());
  EXPECT_EQ(texts.name, "KVD Ring 03");
  StandInHost host(*library);
  host.setStackMisalignment(4);
  ASSERT_TRUE(host.create());
  host.setBlockSize(16);
  host.open();
  ASSERT_EQ(host.pins().size(), 4u);
  for (int i = 0; i < 16; ++i) {
    host.buffer(0)[i] = 0.5f;
    host.buffer(1)[i] = 0.25f;
    host.buffer(2)[i] = 2.0f;
  }
  host.runBlock(16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(host.buffer(3)[i], 0.25f);
  host.deliverStatusChange(0, ST_RUNNING, host.sampleClock());
  auto announced = host.pinStatusAnnouncements();
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(announced[0].pin, 3);
  EXPECT_EQ(announced[0].state, ST_RUNNING);
  EXPECT_EQ(host.close(), 1);
}
