#include "wav.h"

#include <cerrno>
#include <cstring>

namespace wav {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// The tail that every standard WAVE_FORMAT_EXTENSIBLE sub-format GUID shares;
// its first two bytes are the plain format tag.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void put16(std::vector<unsigned char>* out, uint16_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
void put32(std::vector<unsigned char>* out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(uint8_t(v >> shift));
}
void put_id(std::vector<unsigned char>* out, const char* id) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(id[i]));
}

bool fail(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return false;
}

struct Format {
  uint16_t tag;  // kFormatPcm or kFormatFloat once an extensible header is resolved
  uint16_t channels;
  uint32_t sample_rate;
  uint16_t block_align;
  uint16_t bits;
};

std::string describe(const Format& format) {
  if (format.tag == kFormatPcm) return std::to_string(format.bits) + "-bit PCM";
  if (format.tag == kFormatFloat) return std::to_string(format.bits) + "-bit float";
  return "format tag " + std::to_string(format.tag) + " (compressed or unknown)";
}

bool parse_format(const unsigned char* body, uint32_t size, Format* format, std::string* reason) {
  if (size < 16) return fail(reason, "malformed WAV: the fmt chunk is too short");
  format->tag = get16(body);
  format->channels = get16(body + 2);
  format->sample_rate = get32(body + 4);
  format->block_align = get16(body + 12);
  format->bits = get16(body + 14);
  if (format->tag == kFormatExtensible) {
    if (size < 40 || get16(body + 16) < 22)
      return fail(reason, "malformed WAV: the extensible fmt chunk is too short");
    const unsigned char* guid = body + 24;
    if (std::memcmp(guid + 2, kSubFormatTail, sizeof kSubFormatTail) != 0)
      return fail(reason, "unsupported WAV: an extensible format with an unknown sub-format");
    format->tag = get16(guid);
  }
  return true;
}

bool check_format(const Format& format, std::string* reason) {
  const bool supported = (format.tag == kFormatPcm && format.bits == 16) ||
                         (format.tag == kFormatFloat && format.bits == 32);
  if (!supported)
    return fail(reason, "unsupported WAV: " + describe(format) +
                            " (16-bit PCM and 32-bit float are read)");
  if (format.channels == 0) return fail(reason, "malformed WAV: no channels");
  if (format.sample_rate == 0) return fail(reason, "malformed WAV: a sample rate of 0");
  if (format.block_align != uint32_t(format.channels) * (format.bits / 8))
    return fail(reason, "malformed WAV: block align " + std::to_string(format.block_align) +
                            " does not fit " + std::to_string(format.channels) + " channels of " +
                            std::to_string(format.bits) + " bits");
  return true;
}

void decode(const Format& format, const unsigned char* data, uint32_t size, Audio* audio) {
  const size_t count = size / (format.bits / 8);
  audio->samples.resize(count);
  for (size_t i = 0; i < count; ++i) {
    if (format.tag == kFormatPcm) {
      audio->samples[i] = float(int16_t(get16(data + 2 * i))) / 32768.0f;
    } else {
      const uint32_t bits = get32(data + 4 * i);
      std::memcpy(&audio->samples[i], &bits, 4);
    }
  }
}

std::string system_reason() { return std::strerror(errno); }

}  // namespace

bool parse(const std::vector<unsigned char>& bytes, Audio* audio, std::string* reason) {
  const unsigned char* file = bytes.data();
  const size_t size = bytes.size();
  if (size < 12 || std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0)
    return fail(reason, "not a WAV file: no RIFF/WAVE header");

  // The RIFF size field is often wrong in files from streaming writers; the
  // chunks are walked up to the real end of the file instead.
  Format format{};
  bool have_format = false;
  const unsigned char* data = nullptr;
  uint32_t data_size = 0;
  size_t position = 12;
  while (size - position >= 8) {
    const unsigned char* header = file + position;
    const uint32_t chunk_size = get32(header + 4);
    const size_t body = position + 8;
    const bool is_data = std::memcmp(header, "data", 4) == 0;
    if (chunk_size > size - body) {
      if (is_data)
        return fail(reason, "malformed WAV: the data chunk declares " + std::to_string(chunk_size) +
                                " bytes but the file holds " + std::to_string(size - body));
      return fail(reason, "malformed WAV: chunk '" + std::string(header, header + 4) +
                              "' runs past the end of the file");
    }
    if (std::memcmp(header, "fmt ", 4) == 0 && !have_format) {
      if (!parse_format(file + body, chunk_size, &format, reason)) return false;
      have_format = true;
    } else if (is_data && data == nullptr) {
      data = file + body;
      data_size = chunk_size;
    }
    position = body + chunk_size + (chunk_size & 1);  // chunks are padded to even sizes
    if (position > size) break;
  }
  if (!have_format) return fail(reason, "malformed WAV: no fmt chunk");
  if (data == nullptr) return fail(reason, "malformed WAV: no data chunk");
  if (!check_format(format, reason)) return false;
  if (data_size % format.block_align != 0)
    return fail(reason, "malformed WAV: the data chunk ends inside a frame");

  audio->sample_rate = format.sample_rate;
  audio->channels = format.channels;
  decode(format, data, data_size, audio);
  return true;
}

bool read_file(const std::string& path, Audio* audio, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (error) *error = path + ": cannot open: " + system_reason();
    return false;
  }
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  bool too_large = false;
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes.size() + got > kMaxReadBytes) {
      too_large = true;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const bool read_error = std::ferror(file) != 0;
  std::fclose(file);
  if (too_large) {
    if (error) *error = path + ": too large: WAV files of up to 256 MiB are read";
    return false;
  }
  if (read_error) {
    if (error) *error = path + ": cannot read: " + system_reason();
    return false;
  }
  std::string reason;
  if (!parse(bytes, audio, &reason)) {
    if (error) *error = path + ": " + reason;
    return false;
  }
  return true;
}

// RIFF size = 4 ("WAVE") + 26 (fmt) + 12 (fact) + 8 (data header) + data.
uint64_t max_float_frames(int channels) {
  if (channels <= 0) return 0;
  return (uint64_t(0xFFFFFFFFu) - 50) / (4 * uint64_t(channels));
}

std::vector<unsigned char> float_header(int channels, uint32_t sample_rate, uint64_t frames) {
  const uint32_t data_bytes = uint32_t(frames * uint64_t(channels) * 4);
  std::vector<unsigned char> header;
  put_id(&header, "RIFF");
  put32(&header, 50 + data_bytes);
  put_id(&header, "WAVE");
  // A non-PCM format carries the extension size (0) and a fact chunk.
  put_id(&header, "fmt ");
  put32(&header, 18);
  put16(&header, kFormatFloat);
  put16(&header, uint16_t(channels));
  put32(&header, sample_rate);
  put32(&header, sample_rate * uint32_t(channels) * 4);
  put16(&header, uint16_t(channels * 4));
  put16(&header, 32);
  put16(&header, 0);
  put_id(&header, "fact");
  put32(&header, 4);
  put32(&header, uint32_t(frames));
  put_id(&header, "data");
  put32(&header, data_bytes);
  return header;
}

bool write_float_file(const std::string& path, const Audio& audio, std::string* error) {
  FloatWriter writer;
  return writer.open(path, audio.channels, audio.sample_rate, audio.frames(), error) &&
         writer.write(audio.samples.data(), audio.frames() * size_t(audio.channels), error) &&
         writer.finish(error);
}

// ---------------------------------------------------------------------------
// FloatWriter

FloatWriter::~FloatWriter() {
  if (m_file != nullptr) {
    std::fclose(m_file);
    std::remove(m_path.c_str());
  }
}

bool FloatWriter::fail(const std::string& reason, std::string* error) {
  if (error) *error = m_path + ": " + reason;
  if (m_file != nullptr) {
    std::fclose(m_file);
    m_file = nullptr;
    std::remove(m_path.c_str());
  }
  return false;
}

bool FloatWriter::open(const std::string& path, int channels, uint32_t sample_rate,
                       uint64_t frames, std::string* error) {
  m_path = path;
  if (channels <= 0 || channels > 0xFFFF || sample_rate == 0)
    return fail("cannot write: a WAV file needs channels and a sample rate", error);
  if (frames > max_float_frames(channels))
    return fail("cannot write: too long for a WAV file", error);
  m_file = std::fopen(path.c_str(), "wb");
  if (m_file == nullptr) return fail("cannot write: " + system_reason(), error);
  m_samples_promised = frames * uint64_t(channels);
  m_samples_written = 0;
  const std::vector<unsigned char> header = float_header(channels, sample_rate, frames);
  if (std::fwrite(header.data(), 1, header.size(), m_file) != header.size())
    return fail("cannot write: " + system_reason(), error);
  return true;
}

bool FloatWriter::write(const float* samples, size_t count, std::string* error) {
  if (m_file == nullptr) return fail("cannot write: the file is not open", error);
  if (count > m_samples_promised - m_samples_written)
    return fail("cannot write: more samples than the header announces", error);
  if (count == 0) return true;
  std::vector<unsigned char> bytes(count * 4);
  for (size_t i = 0; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &samples[i], 4);
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = uint8_t(bits >> (8 * b));
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
    return fail("cannot write: " + system_reason(), error);
  m_samples_written += count;
  return true;
}

bool FloatWriter::finish(std::string* error) {
  if (m_file == nullptr) return fail("cannot write: the file is not open", error);
  if (m_samples_written != m_samples_promised)
    return fail("cannot write: fewer samples than the header announces", error);
  const bool flushed = std::fflush(m_file) == 0;
  const bool closed = std::fclose(m_file) == 0;
  m_file = nullptr;
  if (!flushed || !closed) {
    const std::string reason = system_reason();
    std::remove(m_path.c_str());
    if (error) *error = m_path + ": cannot write: " + reason;
    return false;
  }
  return true;
}

}  // namespace wav
