// The seven .sem files as a bare Windows loads them: the two exports under
// their plain names and nothing else, the library's own file name in its
// export directory, "SE_MODULE" leading the read-only data, imports from
// KERNEL32.dll and msvcrt.dll only, and only its own build's texts.
//
// The files are read with a small PE reader of this test's own, on the file
// bytes. Only the Windows build makes .sem DLLs; natively the test skips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "plugins.h"
#include "ring_builds.h"

namespace {

// ---- A PE32 image, read from its file -----------------------------------

struct Section {
  std::string name;
  uint32_t virtual_address, virtual_size, raw_offset, raw_size, characteristics;
};

class PeFile {
 public:
  // Empty error when the file is a well-formed PE32 image.
  explicit PeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    parse();
  }

  const std::string& error() const { return m_error; }
  const std::vector<unsigned char>& bytes() const { return m_bytes; }
  uint16_t machine() const { return m_machine; }
  uint16_t characteristics() const { return m_characteristics; }
  const std::vector<Section>& sections() const { return m_sections; }

  const Section* section(const std::string& name) const {
    for (const Section& s : m_sections)
      if (s.name == name) return &s;
    return nullptr;
  }

  // The export directory's name of the library and its exported names.
  bool exports(std::string* library_name, std::vector<std::string>* names,
               std::vector<uint32_t>* addresses) const {
    uint32_t rva, size;
    if (!directory(0, &rva, &size)) return false;
    const long dir = offset_of(rva, 40);
    if (dir < 0) return false;
    *library_name = string_at(u32(dir + 12));
    const uint32_t functions = u32(dir + 20), name_count = u32(dir + 24);
    const long address_table = offset_of(u32(dir + 28), functions * 4);
    const long name_table = offset_of(u32(dir + 32), name_count * 4);
    if (address_table < 0 || name_table < 0) return false;
    for (uint32_t i = 0; i < name_count; ++i) names->push_back(string_at(u32(name_table + 4 * i)));
    for (uint32_t i = 0; i < functions; ++i) addresses->push_back(u32(address_table + 4 * i));
    return true;
  }

  // The names of the DLLs it imports from.
  bool imports(std::vector<std::string>* dlls) const {
    uint32_t rva, size;
    if (!directory(1, &rva, &size)) return false;
    for (uint32_t entry = rva;; entry += 20) {
      const long descriptor = offset_of(entry, 20);
      if (descriptor < 0) return false;
      const uint32_t name = u32(descriptor + 12);
      if (name == 0) return true;
      dlls->push_back(string_at(name));
    }
  }

  // The section that holds `rva`, if any.
  const Section* section_of(uint32_t rva) const {
    for (const Section& s : m_sections)
      if (rva >= s.virtual_address && rva < s.virtual_address + std::max(s.virtual_size, s.raw_size))
        return &s;
    return nullptr;
  }

 private:
  void parse() {
    if (m_bytes.size() < 0x40 || m_bytes[0] != 'M' || m_bytes[1] != 'Z') return fail("no MZ header");
    const uint32_t pe = u32(0x3C);
    if (pe > m_bytes.size() - 24 || std::memcmp(&m_bytes[pe], "PE\0\0", 4) != 0)
      return fail("no PE signature");
    m_machine = u16(pe + 4);
    const uint16_t section_count = u16(pe + 6);
    const uint16_t optional_size = u16(pe + 20);
    m_characteristics = u16(pe + 22);
    m_optional = pe + 24;
    if (m_optional + optional_size > m_bytes.size() || optional_size < 96 + 16)
      return fail("optional header cut short");
    if (u16(m_optional) != 0x10B) return fail("not a PE32 (32-bit) image");
    m_directory_count = u32(m_optional + 92);
    m_optional_size = optional_size;
    const size_t table = m_optional + optional_size;
    if (table + size_t(section_count) * 40 > m_bytes.size()) return fail("section table cut short");
    for (uint16_t i = 0; i < section_count; ++i) {
      const size_t s = table + 40 * size_t(i);
      const char* name = reinterpret_cast<const char*>(&m_bytes[s]);
      m_sections.push_back({std::string(name, strnlen(name, 8)), u32(s + 12), u32(s + 8),
                            u32(s + 20), u32(s + 16), u32(s + 36)});
    }
  }

  void fail(const std::string& why) { m_error = why; }

  uint16_t u16(size_t at) const {
    return at + 2 <= m_bytes.size() ? uint16_t(m_bytes[at] | m_bytes[at + 1] << 8) : 0;
  }
  uint32_t u32(size_t at) const {
    if (at + 4 > m_bytes.size()) return 0;
    return uint32_t(m_bytes[at]) | uint32_t(m_bytes[at + 1]) << 8 |
           uint32_t(m_bytes[at + 2]) << 16 | uint32_t(m_bytes[at + 3]) << 24;
  }

  bool directory(uint32_t index, uint32_t* rva, uint32_t* size) const {
    if (index >= m_directory_count || 96 + 8 * (index + 1) > m_optional_size) return false;
    *rva = u32(m_optional + 96 + 8 * index);
    *size = u32(m_optional + 100 + 8 * index);
    return *rva != 0;
  }

  // File offset of `length` bytes at `rva`, or -1 when they are not all in the file.
  long offset_of(uint32_t rva, uint32_t length) const {
    for (const Section& s : m_sections) {
      if (rva < s.virtual_address || rva - s.virtual_address >= s.raw_size) continue;
      const uint64_t offset = uint64_t(s.raw_offset) + (rva - s.virtual_address);
      if (rva - s.virtual_address + uint64_t(length) > s.raw_size ||
          offset + length > m_bytes.size())
        return -1;
      return long(offset);
    }
    return -1;
  }

  std::string string_at(uint32_t rva) const {
    const long at = offset_of(rva, 1);
    if (at < 0) return "<outside the file>";
    std::string text;
    for (size_t i = size_t(at); i < m_bytes.size() && m_bytes[i] != 0; ++i) text += char(m_bytes[i]);
    return text;
  }

  std::vector<unsigned char> m_bytes;
  std::string m_error;
  uint16_t m_machine = 0, m_characteristics = 0;
  size_t m_optional = 0;
  uint32_t m_optional_size = 0, m_directory_count = 0;
  std::vector<Section> m_sections;
};

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kImageDll = 0x2000;
constexpr uint32_t kSectionExecutable = 0x20000000;

std::string lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool contains(const std::vector<unsigned char>& bytes, const std::string& text) {
  // With its terminating NUL, so that one text is not found inside a longer one.
  const std::string needle(text.c_str(), text.size() + 1);
  return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
}

class Image : public testing::TestWithParam<ring::Build> {
 protected:
  void SetUp() override {
#if !defined(_WIN32)
    GTEST_SKIP() << "the .sem DLLs are made by the Windows build";
#endif
    path = std::string(RING_PLUGIN_DIR) + "/" + GetParam().file;
  }
  std::string path;
};

std::string build_name(const testing::TestParamInfo<ring::Build>& info) {
  return "ring" + std::to_string(info.param.inputs);
}

}  // namespace

TEST_P(Image, IsA32BitDll) {
  const PeFile image(path);
  ASSERT_EQ(image.error(), "") << path;
  EXPECT_EQ(image.machine(), kMachineI386);
  EXPECT_NE(image.characteristics() & kImageDll, 0);
}

TEST_P(Image, ExportsExactlyTheTwoFunctionsUnderItsOwnName) {
  const PeFile image(path);
  ASSERT_EQ(image.error(), "") << path;
  std::string library_name;
  std::vector<std::string> names;
  std::vector<uint32_t> addresses;
  ASSERT_TRUE(image.exports(&library_name, &names, &addresses));
  EXPECT_EQ(library_name, GetParam().file);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"getModuleProperties", "makeModule"}));
  ASSERT_EQ(addresses.size(), 2u);
  for (uint32_t address : addresses) {  // code of its own, not forwarded elsewhere
    const Section* section = image.section_of(address);
    ASSERT_NE(section, nullptr);
    EXPECT_NE(section->characteristics & kSectionExecutable, 0u) << section->name;
  }
}

TEST_P(Image, ImportsFromKernel32AndMsvcrtOnly) {
  const PeFile image(path);
  ASSERT_EQ(image.error(), "") << path;
  std::vector<std::string> dlls;
  ASSERT_TRUE(image.imports(&dlls));
  EXPECT_FALSE(dlls.empty());
  for (const std::string& dll : dlls)
    EXPECT_TRUE(lower(dll) == "kernel32.dll" || lower(dll) == "msvcrt.dll") << dll;
}

TEST_P(Image, SeModuleLeadsTheReadOnlyData) {
  const PeFile image(path);
  ASSERT_EQ(image.error(), "") << path;
  const Section* rdata = image.section(".rdata");
  ASSERT_NE(rdata, nullptr);
  ASSERT_GE(rdata->raw_size, 10u);
  ASSERT_LE(uint64_t(rdata->raw_offset) + 10, image.bytes().size());
  EXPECT_EQ(std::memcmp(&image.bytes()[rdata->raw_offset], "SE_MODULE\0", 10), 0);
}

TEST_P(Image, CarriesOnlyItsOwnRowsTexts) {
  const PeFile image(path);
  ASSERT_EQ(image.error(), "") << path;
  for (const ring::Build& row : ring::kBuilds) {
    const bool own = row.inputs == GetParam().inputs;
    for (const char* text : {row.name, row.unique_id}) {
      EXPECT_EQ(contains(image.bytes(), text), own)
          << GetParam().file << (own ? " lacks " : " carries ") << "\"" << text << "\"";
    }
  }
  EXPECT_TRUE(contains(image.bytes(), GetParam().about));
}

INSTANTIATE_TEST_SUITE_P(AllSeven, Image, testing::ValuesIn(ring::kBuilds), build_name);

// The build makes the seven files of the table, named as the table names them.
TEST(Images, ThePluginFolderHoldsTheSevenFiles) {
  std::set<std::string> built, expected;
  for (const auto& entry : std::filesystem::directory_iterator(RING_PLUGIN_DIR))
    if (entry.path().extension() == ".sem") built.insert(entry.path().filename().string());
  for (const ring::Build& row : ring::kBuilds) expected.insert(row.file);
  EXPECT_EQ(built, expected);
  EXPECT_EQ(ringtest::all_input_counts().size(), expected.size());
}
