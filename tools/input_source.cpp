#include "input_source.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "wav.h"

namespace semhost {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

std::string trimmed_number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::vector<std::string> split_colons(const std::string& text) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    const size_t colon = text.find(':', begin);
    parts.push_back(text.substr(begin, colon - begin));
    if (colon == std::string::npos) return parts;
    begin = colon + 1;
  }
}

}  // namespace

bool parse_number(const std::string& text, double* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool parse_source(const std::string& text, InputSource* source, std::string* reason) {
  *source = InputSource();
  if (text.empty()) {
    *reason = "no source given";
    return false;
  }
  if (text == "silence") {
    source->kind = InputSource::Kind::silence;
    return true;
  }
  if (starts_with(text, "sine:") || text == "sine") {
    const std::vector<std::string> parts = split_colons(text);
    double frequency = 0, level = 1;
    if (parts.size() < 2 || parts.size() > 3 || !parse_number(parts[1], &frequency) ||
        frequency < 0 || (parts.size() == 3 && !parse_number(parts[2], &level))) {
      *reason = "'" + text + "' is not a sine: write sine:FREQ or sine:FREQ:LEVEL, "
                "FREQ in Hz (0 or more), LEVEL a number";
      return false;
    }
    source->kind = InputSource::Kind::sine;
    source->frequency = frequency;
    source->level = level;
    return true;
  }
  if (starts_with(text, "const:") || text == "const") {
    double value = 0;
    const std::vector<std::string> parts = split_colons(text);
    if (parts.size() != 2 || !parse_number(parts[1], &value) ||
        !std::isfinite(static_cast<float>(value))) {
      *reason = "'" + text + "' is not a constant: write const:VALUE, VALUE a number";
      return false;
    }
    source->kind = InputSource::Kind::constant;
    source->value = static_cast<float>(value);
    return true;
  }
  source->kind = InputSource::Kind::file;
  source->path = text;
  return true;
}

bool load_source_file(InputSource* source, std::string* error) {
  if (source->kind != InputSource::Kind::file) return true;
  wav::Audio audio;
  if (!wav::read_file(source->path, &audio, error)) return false;
  if (audio.channels != 1) {
    *error = source->path + ": has " + std::to_string(audio.channels) +
             " channels; an input takes a mono file";
    return false;
  }
  source->samples = std::move(audio.samples);
  source->file_rate = audio.sample_rate;
  return true;
}

state_type InputSource::state() const {
  return kind == Kind::sine || kind == Kind::file ? ST_RUNNING : ST_STATIC;
}

bool InputSource::endsAt(uint64_t* sample) const {
  if (kind != Kind::file) return false;
  *sample = samples.size();
  return true;
}

std::string InputSource::describe() const {
  switch (kind) {
    case Kind::sine:
      return "sine " + trimmed_number(frequency) + " Hz, level " + trimmed_number(level);
    case Kind::constant:
      return "constant " + trimmed_number(value);
    case Kind::silence:
      return "silence";
    case Kind::file:
      return "file " + path + " (" + std::to_string(samples.size()) + " samples)";
  }
  return "";
}

void InputSource::fill(float* out, uint64_t first, size_t count, uint32_t sample_rate) const {
  switch (kind) {
    case Kind::sine: {
      // From the sample number each time, reduced to one period, so that the
      // phase neither drifts nor loses precision in long renders.
      const double rate = double(sample_rate);
      for (size_t i = 0; i < count; ++i) {
        const double cycles = std::fmod(frequency * double(first + i), rate) / rate;
        out[i] = static_cast<float>(level * std::sin(kTwoPi * cycles));
      }
      return;
    }
    case Kind::constant:
      for (size_t i = 0; i < count; ++i) out[i] = value;
      return;
    case Kind::silence:
      for (size_t i = 0; i < count; ++i) out[i] = 0.0f;
      return;
    case Kind::file:
      for (size_t i = 0; i < count; ++i)
        out[i] = first + i < samples.size() ? samples[first + i] : 0.0f;
      return;
  }
}

}  // namespace semhost
