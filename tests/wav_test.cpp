// WAV reading (16-bit PCM, 32-bit float, plain and extensible headers) and
// 32-bit float writing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "wav.h"

namespace fs = std::filesystem;

namespace {

// ---- Building WAV images by hand --------------------------------------

typedef std::vector<unsigned char> Bytes;

void put16(Bytes* b, uint16_t v) {
  b->push_back(uint8_t(v));
  b->push_back(uint8_t(v >> 8));
}
void put32(Bytes* b, uint32_t v) {
  for (int s = 0; s < 32; s += 8) b->push_back(uint8_t(v >> s));
}
void put_text(Bytes* b, const char* text) {
  for (size_t i = 0; i < std::strlen(text); ++i) b->push_back(uint8_t(text[i]));
}

Bytes chunk(const char* id, const Bytes& body, bool pad = true) {
  Bytes c;
  put_text(&c, id);
  put32(&c, uint32_t(body.size()));
  c.insert(c.end(), body.begin(), body.end());
  if (pad && body.size() % 2) c.push_back(0);
  return c;
}

Bytes fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
               int block_align = -1) {
  const uint16_t align = block_align >= 0 ? uint16_t(block_align) : uint16_t(channels * bits / 8);
  Bytes b;
  put16(&b, tag);
  put16(&b, channels);
  put32(&b, rate);
  put32(&b, rate * align);
  put16(&b, align);
  put16(&b, bits);
  return b;
}

// WAVE_FORMAT_EXTENSIBLE with the standard GUID of `sub_format`.
Bytes extensible_fmt_body(uint16_t sub_format, uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes b = fmt_body(0xFFFE, channels, rate, bits);
  put16(&b, 22);
  put16(&b, bits);   // valid bits
  put32(&b, 0x4);    // channel mask
  put16(&b, sub_format);
  const unsigned char tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  b.insert(b.end(), tail, tail + 14);
  return b;
}

Bytes pcm16_data(std::initializer_list<int16_t> samples) {
  Bytes b;
  for (int16_t s : samples) put16(&b, uint16_t(s));
  return b;
}

Bytes float_data(std::initializer_list<float> samples) {
  Bytes b;
  for (float s : samples) {
    uint32_t bits;
    std::memcpy(&bits, &s, 4);
    put32(&b, bits);
  }
  return b;
}

// RIFF/WAVE around the chunks, with a correct size field unless given.
Bytes riff(const std::vector<Bytes>& chunks, long size_field = -1) {
  Bytes body;
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b;
  put_text(&b, "RIFF");
  put32(&b, size_field >= 0 ? uint32_t(size_field) : uint32_t(4 + body.size()));
  put_text(&b, "WAVE");
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes mono16(std::initializer_list<int16_t> samples) {
  return riff({chunk("fmt ", fmt_body(1, 1, 8000, 16)), chunk("data", pcm16_data(samples))});
}

// ---- A directory of its own for each test ---------------------------------

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    m_path = fs::temp_directory_path() / ("wav_test_" + std::to_string(random()));
    fs::create_directories(m_path);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  std::string file(const std::string& name) const { return (m_path / name).string(); }
  size_t entries() const {
    return size_t(std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
  }

 private:
  fs::path m_path;
};

void write_bytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              std::streamsize(bytes.size()));
}

Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t at32(const Bytes& b, size_t offset) {
  return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
         uint32_t(b[offset + 3]) << 24;
}
uint16_t at16(const Bytes& b, size_t offset) { return uint16_t(b[offset] | b[offset + 1] << 8); }

bool same_bits(float a, float b) { return std::memcmp(&a, &b, 4) == 0; }

}  // namespace

// ---- Reading ----------------------------------------------------------------

TEST(WavRead, Pcm16ScalesByOneOver32768) {
  wav::Audio audio;
  std::string reason;
  ASSERT_TRUE(wav::parse(mono16({0, 1, -1, 16384, 32767, -32768}), &audio, &reason)) << reason;
  EXPECT_EQ(audio.sample_rate, 8000u);
  EXPECT_EQ(audio.channels, 1);
  const std::vector<float> expected = {0.0f, 1.0f / 32768, -1.0f / 32768, 0.5f,
                                       32767.0f / 32768, -1.0f};
  EXPECT_EQ(audio.samples, expected);
}

TEST(WavRead, FloatSamplesKeepEveryBit) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float denormal = std::numeric_limits<float>::denorm_min();
  const Bytes file = riff({chunk("fmt ", fmt_body(3, 1, 48000, 32)),
                           chunk("data", float_data({-0.0f, denormal, 1e30f, nan, -2.5f}))});
  wav::Audio audio;
  std::string reason;
  ASSERT_TRUE(wav::parse(file, &audio, &reason)) << reason;
  ASSERT_EQ(audio.samples.size(), 5u);
  EXPECT_TRUE(same_bits(audio.samples[0], -0.0f));
  EXPECT_TRUE(same_bits(audio.samples[1], denormal));
  EXPECT_EQ(audio.samples[2], 1e30f);
  EXPECT_TRUE(std::isnan(audio.samples[3]));
  EXPECT_EQ(audio.samples[4], -2.5f);
}

TEST(WavRead, StereoStaysInterleaved) {
  const Bytes file = riff({chunk("fmt ", fmt_body(1, 2, 44100, 16)),
                           chunk("data", pcm16_data({16384, -16384, 8192, -8192}))});
  wav::Audio audio;
  std::string reason;
  ASSERT_TRUE(wav::parse(file, &audio, &reason)) << reason;
  EXPECT_EQ(audio.channels, 2);
  EXPECT_EQ(audio.frames(), 2u);
  EXPECT_EQ(audio.samples, (std::vector<float>{0.5f, -0.5f, 0.25f, -0.25f}));
}

TEST(WavRead, ExtensibleHeadersOfBothFormats) {
  wav::Audio pcm, floats;
  std::string reason;
  ASSERT_TRUE(wav::parse(riff({chunk("fmt ", extensible_fmt_body(1, 1, 22050, 16)),
                               chunk("data", pcm16_data({-16384}))}),
                         &pcm, &reason))
      << reason;
  EXPECT_EQ(pcm.samples, std::vector<float>{-0.5f});
  EXPECT_EQ(pcm.sample_rate, 22050u);
  ASSERT_TRUE(wav::parse(riff({chunk("fmt ", extensible_fmt_body(3, 1, 22050, 32)),
                               chunk("data", float_data({0.125f}))}),
                         &floats, &reason))
      << reason;
  EXPECT_EQ(floats.samples, std::vector<float>{0.125f});
}

// Real files carry other chunks, odd-sized ones padded, in any order, and
// streaming writers leave the RIFF size wrong.
TEST(WavRead, WalksPastOtherChunksAndTrustsTheFileLength) {
  Bytes odd_body;
  put_text(&odd_body, "abc");  // odd size: one pad byte follows
  const std::vector<Bytes> chunks = {chunk("LIST", odd_body), chunk("data", pcm16_data({16384})),
                                     chunk("fmt ", fmt_body(1, 1, 8000, 16))};
  Bytes file = riff(chunks, 0);
  file.push_back(0x55);  // trailing bytes too few for a chunk header
  wav::Audio audio;
  std::string reason;
  ASSERT_TRUE(wav::parse(file, &audio, &reason)) << reason;
  EXPECT_EQ(audio.samples, std::vector<float>{0.5f});
}

TEST(WavRead, EmptyDataChunkIsNoSamples) {
  wav::Audio audio;
  std::string reason;
  ASSERT_TRUE(wav::parse(mono16({}), &audio, &reason)) << reason;
  EXPECT_TRUE(audio.samples.empty());
}

TEST(WavRead, MalformedAndUnsupportedFilesSayWhy) {
  Bytes short_fmt = fmt_body(1, 1, 8000, 16);
  short_fmt.resize(12);
  Bytes extensible_unknown = extensible_fmt_body(1, 1, 8000, 16);
  extensible_unknown.back() ^= 0xFF;
  Bytes not_wave = mono16({1});
  std::memcpy(not_wave.data() + 8, "AVI ", 4);
  Bytes long_data = mono16({1, 2});
  long_data.resize(long_data.size() - 1);  // the data chunk loses its last byte
  const Bytes fmt16 = chunk("fmt ", fmt_body(1, 1, 8000, 16));
  Bytes cut_list = riff({fmt16, chunk("data", {}), chunk("LIST", {1, 2, 3, 4})});
  cut_list.resize(cut_list.size() - 2);

  struct Case {
    const char* what;
    Bytes file;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"empty", {}, "not a WAV file"},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, "not a WAV file"},
      {"RIFF of another kind", not_wave, "not a WAV file"},
      {"no fmt", riff({chunk("data", pcm16_data({1}))}), "no fmt chunk"},
      {"no data", riff({fmt16}), "no data chunk"},
      {"short fmt", riff({chunk("fmt ", short_fmt), chunk("data", pcm16_data({1}))}),
       "fmt chunk is too short"},
      {"data cut short", long_data, "data chunk declares 4 bytes but the file holds 3"},
      {"other chunk cut short", cut_list, "chunk 'LIST' runs past the end of the file"},
      {"8-bit PCM", riff({chunk("fmt ", fmt_body(1, 1, 8000, 8)), chunk("data", {1})}),
       "unsupported WAV: 8-bit PCM"},
      {"24-bit PCM", riff({chunk("fmt ", fmt_body(1, 1, 8000, 24)), chunk("data", {1, 2, 3})}),
       "unsupported WAV: 24-bit PCM"},
      {"64-bit float", riff({chunk("fmt ", fmt_body(3, 1, 8000, 64)), chunk("data", Bytes(8))}),
       "unsupported WAV: 64-bit float"},
      {"ADPCM", riff({chunk("fmt ", fmt_body(2, 1, 8000, 4, 256)), chunk("data", Bytes(256))}),
       "unsupported WAV: format tag 2"},
      {"unknown extensible", riff({chunk("fmt ", extensible_unknown), chunk("data", Bytes(2))}),
       "unknown sub-format"},
      {"no channels", riff({chunk("fmt ", fmt_body(1, 0, 8000, 16)), chunk("data", Bytes(2))}),
       "no channels"},
      {"rate 0", riff({chunk("fmt ", fmt_body(1, 1, 0, 16)), chunk("data", Bytes(2))}),
       "sample rate of 0"},
      {"block align", riff({chunk("fmt ", fmt_body(1, 2, 8000, 16, 2)), chunk("data", Bytes(4))}),
       "block align 2 does not fit 2 channels of 16 bits"},
      {"partial frame", riff({fmt16, chunk("data", Bytes(3))}), "ends inside a frame"},
  };
  for (const Case& c : cases) {
    wav::Audio audio;
    std::string reason;
    EXPECT_FALSE(wav::parse(c.file, &audio, &reason)) << c.what;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
  }
}

TEST(WavRead, FileErrorsNameTheFile) {
  ScratchDir dir;
  wav::Audio audio;
  std::string error;
  const std::string missing = dir.file("missing.wav");
  EXPECT_FALSE(wav::read_file(missing, &audio, &error));
  EXPECT_EQ(error.find(missing + ": cannot open: "), 0u) << error;

  const std::string text = dir.file("notes.wav");
  write_bytes(text, Bytes{'n', 'o', 't', 'e', 's', ' ', 'o', 'n', ' ', 'a', ' ', 'w', 'a', 'v'});
  EXPECT_FALSE(wav::read_file(text, &audio, &error));
  EXPECT_EQ(error, text + ": not a WAV file: no RIFF/WAVE header");
}

// ---- Writing ----------------------------------------------------------------

TEST(WavWrite, FloatFileReadsBackBitForBit) {
  ScratchDir dir;
  wav::Audio audio;
  audio.sample_rate = 96000;
  audio.channels = 2;
  audio.samples = {-0.0f, std::numeric_limits<float>::denorm_min(), 3.0e38f, -1.0f, 0.1f, 7.0f};
  std::string error;
  const std::string path = dir.file("out.wav");
  ASSERT_TRUE(wav::write_float_file(path, audio, &error)) << error;
  wav::Audio back;
  ASSERT_TRUE(wav::read_file(path, &back, &error)) << error;
  EXPECT_EQ(back.sample_rate, 96000u);
  EXPECT_EQ(back.channels, 2);
  ASSERT_EQ(back.samples.size(), audio.samples.size());
  for (size_t i = 0; i < audio.samples.size(); ++i)
    EXPECT_TRUE(same_bits(back.samples[i], audio.samples[i])) << i;
}

// What other readers rely on: the sizes and the format fields.
TEST(WavWrite, HeaderFieldsOfAFloatFile) {
  ScratchDir dir;
  wav::Audio audio;
  audio.sample_rate = 48000;
  audio.channels = 1;
  audio.samples = {0.5f, -0.5f, 0.25f};
  std::string error;
  const std::string path = dir.file("out.wav");
  ASSERT_TRUE(wav::write_float_file(path, audio, &error)) << error;
  const Bytes file = read_bytes(path);
  ASSERT_EQ(file.size(), 58u + 12u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(at32(file, 4), file.size() - 8);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(at32(file, 16), 18u);       // fmt size, with the extension size
  EXPECT_EQ(at16(file, 20), 3);         // IEEE float
  EXPECT_EQ(at16(file, 22), 1);         // channels
  EXPECT_EQ(at32(file, 24), 48000u);    // rate
  EXPECT_EQ(at32(file, 28), 192000u);   // bytes per second
  EXPECT_EQ(at16(file, 32), 4);         // block align
  EXPECT_EQ(at16(file, 34), 32);        // bits
  EXPECT_EQ(at16(file, 36), 0);         // extension size
  EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "fact");
  EXPECT_EQ(at32(file, 46), 3u);        // frames
  EXPECT_EQ(std::string(file.begin() + 50, file.begin() + 54), "data");
  EXPECT_EQ(at32(file, 54), 12u);
}

TEST(WavWrite, StreamedBlocksMakeOneFile) {
  ScratchDir dir;
  const std::string path = dir.file("blocks.wav");
  wav::FloatWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(path, 1, 8000, 5, &error)) << error;
  const float first[] = {1, 2, 3}, second[] = {4, 5};
  ASSERT_TRUE(writer.write(first, 3, &error)) << error;
  ASSERT_TRUE(writer.write(second, 2, &error)) << error;
  ASSERT_TRUE(writer.finish(&error)) << error;
  wav::Audio back;
  ASSERT_TRUE(wav::read_file(path, &back, &error)) << error;
  EXPECT_EQ(back.samples, (std::vector<float>{1, 2, 3, 4, 5}));
}

// A file whose header promises samples it does not hold is never left behind.
TEST(WavWrite, IncompleteFilesAreRemoved) {
  ScratchDir dir;
  const float samples[] = {1, 2, 3};
  std::string error;
  {
    wav::FloatWriter abandoned;
    ASSERT_TRUE(abandoned.open(dir.file("abandoned.wav"), 1, 8000, 3, &error));
    ASSERT_TRUE(abandoned.write(samples, 1, &error));
  }
  wav::FloatWriter short_one;
  ASSERT_TRUE(short_one.open(dir.file("short.wav"), 1, 8000, 3, &error));
  ASSERT_TRUE(short_one.write(samples, 2, &error));
  EXPECT_FALSE(short_one.finish(&error));
  EXPECT_NE(error.find("fewer samples"), std::string::npos) << error;

  wav::FloatWriter long_one;
  ASSERT_TRUE(long_one.open(dir.file("long.wav"), 1, 8000, 2, &error));
  EXPECT_FALSE(long_one.write(samples, 3, &error));
  EXPECT_NE(error.find("more samples"), std::string::npos) << error;
  EXPECT_EQ(dir.entries(), 0u);
}

TEST(WavWrite, OpenErrorsNameTheFileAndCreateNothing) {
  ScratchDir dir;
  std::string error;
  wav::FloatWriter writer;
  const std::string nowhere = dir.file("no-such-dir/out.wav");
  EXPECT_FALSE(writer.open(nowhere, 1, 8000, 1, &error));
  EXPECT_EQ(error.find(nowhere + ": cannot write: "), 0u) << error;

  wav::FloatWriter too_long;
  const std::string path = dir.file("huge.wav");
  EXPECT_FALSE(too_long.open(path, 1, 8000, wav::max_float_frames(1) + 1, &error));
  EXPECT_EQ(error, path + ": cannot write: too long for a WAV file");
  EXPECT_EQ(dir.entries(), 0u);
}
