// WAV files: reading 16-bit PCM and 32-bit float, writing 32-bit float.
//
// Samples are floats in every case; 16-bit PCM is scaled by 1/32768, so
// -32768 reads as -1.0. Multi-channel audio is kept interleaved. Errors are
// reported as text: parse() gives the reason alone, the file functions put
// the file's name in front of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace wav {

struct Audio {
  uint32_t sample_rate = 0;
  int channels = 0;
  std::vector<float> samples;  // interleaved: frame 0 of every channel, then frame 1, ...

  size_t frames() const { return channels > 0 ? samples.size() / size_t(channels) : 0; }
};

// Files larger than this are refused rather than read into memory.
constexpr uint64_t kMaxReadBytes = uint64_t(256) << 20;

// Decodes a whole file image.
bool parse(const std::vector<unsigned char>& bytes, Audio* audio, std::string* reason);
bool read_file(const std::string& path, Audio* audio, std::string* error);

// The most frames a 32-bit float file of `channels` channels can hold: its
// RIFF size field must fit in 32 bits.
uint64_t max_float_frames(int channels);

// The header that write_float_file and FloatWriter put before the samples.
std::vector<unsigned char> float_header(int channels, uint32_t sample_rate, uint64_t frames);

bool write_float_file(const std::string& path, const Audio& audio, std::string* error);

// Writes a 32-bit float file whose length is known before the first sample,
// so that a long render never has to be held in memory. A file that was
// opened but not finished (a write failed, or the writer was abandoned) is
// removed: nothing is left that claims to be complete.
class FloatWriter {
 public:
  FloatWriter() = default;
  ~FloatWriter();

  bool open(const std::string& path, int channels, uint32_t sample_rate, uint64_t frames,
            std::string* error);
  // Interleaved samples; at most the frames promised to open().
  bool write(const float* samples, size_t count, std::string* error);
  // Closes the file; fails unless exactly the promised frames were written.
  bool finish(std::string* error);

 private:
  FloatWriter(const FloatWriter&) = delete;
  FloatWriter& operator=(const FloatWriter&) = delete;
  bool fail(const std::string& reason, std::string* error);

  std::FILE* m_file = nullptr;
  std::string m_path;
  uint64_t m_samples_promised = 0;
  uint64_t m_samples_written = 0;
};

}  // namespace wav
