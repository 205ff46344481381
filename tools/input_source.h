// What feeds one input pin of a render: a sine, a constant, silence or the
// samples of a mono WAV file.
//
// Written on the command line as
//   sine:FREQ[:LEVEL]   a sine of FREQ Hz and peak LEVEL (1 by default), phase 0 at sample 0
//   const:VALUE         every sample VALUE
//   silence             every sample 0
//   anything else       the path of a WAV file (write ./silence for a file of that name)
// A file that ends before the render does is followed by silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "se_types.h"

namespace semhost {

struct InputSource {
  enum class Kind { sine, constant, silence, file };

  Kind kind = Kind::silence;
  double frequency = 0.0;  // sine
  double level = 1.0;      // sine
  float value = 0.0f;      // constant
  std::string path;        // file
  std::vector<float> samples;  // file: its samples once loaded
  uint32_t file_rate = 0;      // file: its sample rate once loaded

  // The state a host announces for this stream: a sine or a file changes
  // all the time, a constant or silence holds.
  state_type state() const;
  // Where the stream stops running: the end of a file. None for the others.
  bool endsAt(uint64_t* sample) const;
  std::string describe() const;
  // Samples first .. first+count-1 of the stream at `sample_rate`.
  void fill(float* out, uint64_t first, size_t count, uint32_t sample_rate) const;
};

// Reads the command-line form above; `reason` says what is wrong.
bool parse_source(const std::string& text, InputSource* source, std::string* reason);

// Reads a source's file (a no-op for the generated kinds). It must be mono.
bool load_source_file(InputSource* source, std::string* error);

// A finite decimal number, the whole text; no sign checks.
bool parse_number(const std::string& text, double* value);

}  // namespace semhost
