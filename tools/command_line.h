// semhost's command line:
//
//   semhost info FILE.sem
//   semhost render FILE.sem -o OUT.wav [--input PIN=SOURCE]... [--others SOURCE]
//                  [--rate HZ] [--block N] [--seconds S | --samples N]
//   semhost help
//
// Options take their value as the next argument or after '=' (--rate=48000).
// Each option may be given once, except --input, once per pin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input_source.h"

namespace semhost {

constexpr uint32_t kDefaultSampleRate = 44100;
constexpr long kDefaultBlockSize = 64;
// Each pin's buffer holds one block; beyond this the buffers alone would
// crowd a 32-bit process.
constexpr long kMaxBlockSize = 1L << 20;
constexpr double kDefaultSeconds = 1.0;

struct InputAssignment {
  std::string pin;
  std::string text;  // the source as written
  InputSource source;
};

struct RenderOptions {
  std::string output_path;
  std::vector<InputAssignment> inputs;
  bool has_others = false;  // a source for every input not named
  InputSource others;
  uint32_t sample_rate = 0;  // 0: not given
  long block_size = kDefaultBlockSize;
  bool has_seconds = false;
  double seconds = 0.0;
  bool has_samples = false;
  uint64_t samples = 0;
};

struct CommandLine {
  enum class Command { help, info, render };
  Command command = Command::help;
  std::string module_path;
  RenderOptions render;
};

// Checks the syntax and the values' forms; files are not looked at here.
bool parse_command_line(const std::vector<std::string>& args, CommandLine* line,
                        std::string* error);

std::string usage_text();

}  // namespace semhost
