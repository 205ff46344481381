#include "command_line.h"

#include <cmath>
#include <set>

namespace semhost {
namespace {

bool parse_whole_number(const std::string& text, uint64_t most, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + uint64_t(c - '0');
  }
  if (parsed == 0 || parsed > most) return false;
  *value = parsed;
  return true;
}

// Walks the arguments after the command, handing out options and values.
class ArgumentReader {
 public:
  ArgumentReader(const std::vector<std::string>& args, size_t first) : m_args(args), m_next(first) {}

  bool done() const { return m_next >= m_args.size(); }

  // The next argument; an option written --name=value yields --name and
  // keeps the value for value().
  std::string next() {
    const std::string& arg = m_args[m_next++];
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      m_pending_value = arg.substr(equals + 1);
      m_has_pending_value = true;
      return arg.substr(0, equals);
    }
    return arg;
  }

  bool value(const std::string& option, std::string* value, std::string* error) {
    if (m_has_pending_value) {
      *value = m_pending_value;
      m_has_pending_value = false;
      return true;
    }
    if (m_next >= m_args.size()) {
      *error = "option " + option + " needs a value";
      return false;
    }
    *value = m_args[m_next++];
    return true;
  }

 private:
  const std::vector<std::string>& m_args;
  size_t m_next;
  std::string m_pending_value;
  bool m_has_pending_value = false;
};

bool parse_input(const std::string& text, RenderOptions* render, std::string* error) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    *error = "--input '" + text + "': write --input PIN=SOURCE, for instance A=sine:440:0.5";
    return false;
  }
  InputAssignment assignment;
  assignment.pin = text.substr(0, equals);
  assignment.text = text.substr(equals + 1);
  for (const InputAssignment& earlier : render->inputs) {
    if (earlier.pin == assignment.pin) {
      *error = "input " + assignment.pin + " is given twice";
      return false;
    }
  }
  std::string reason;
  if (!parse_source(assignment.text, &assignment.source, &reason)) {
    *error = "--input " + text + ": " + reason;
    return false;
  }
  render->inputs.push_back(std::move(assignment));
  return true;
}

bool parse_render_option(const std::string& option, const std::string& value,
                         RenderOptions* render, std::string* error) {
  if (option == "-o" || option == "--output") {
    if (value.empty()) {
      *error = "option " + option + " needs a file name";
      return false;
    }
    render->output_path = value;
    return true;
  }
  if (option == "-i" || option == "--input") return parse_input(value, render, error);
  if (option == "--others") {
    std::string reason;
    if (!parse_source(value, &render->others, &reason)) {
      *error = "--others " + value + ": " + reason;
      return false;
    }
    render->has_others = true;
    return true;
  }
  if (option == "--rate") {
    uint64_t rate = 0;
    if (!parse_whole_number(value, 0x7FFFFFFF, &rate)) {
      *error = "--rate '" + value + "' is not a sample rate: give a whole number of Hz, 1 or more";
      return false;
    }
    render->sample_rate = uint32_t(rate);
    return true;
  }
  if (option == "--block") {
    uint64_t block = 0;
    if (!parse_whole_number(value, uint64_t(kMaxBlockSize), &block)) {
      *error = "--block '" + value + "' is not a block size: give a whole number of samples from 1 to " +
               std::to_string(kMaxBlockSize);
      return false;
    }
    render->block_size = long(block);
    return true;
  }
  if (option == "--seconds") {
    double seconds = 0;
    if (!parse_number(value, &seconds) || seconds <= 0) {
      *error = "--seconds '" + value + "' is not a length: give a number of seconds above 0";
      return false;
    }
    render->has_seconds = true;
    render->seconds = seconds;
    return true;
  }
  if (option == "--samples") {
    uint64_t samples = 0;
    if (!parse_whole_number(value, UINT64_MAX, &samples)) {
      *error = "--samples '" + value + "' is not a length: give a whole number of samples, 1 or more";
      return false;
    }
    render->has_samples = true;
    render->samples = samples;
    return true;
  }
  *error = "unknown option '" + option + "'";
  return false;
}

bool takes_value(const std::string& option) {
  static const std::set<std::string> options = {"-o",    "--output", "-i",     "--input",
                                                "--others", "--rate", "--block", "--seconds",
                                                "--samples"};
  return options.count(option) != 0;
}

bool parse_render(const std::vector<std::string>& args, CommandLine* line, std::string* error) {
  ArgumentReader reader(args, 1);
  std::set<std::string> seen;
  while (!reader.done()) {
    const std::string arg = reader.next();
    if (arg.size() > 1 && arg[0] == '-') {
      if (!takes_value(arg)) {
        *error = "unknown option '" + arg + "'";
        return false;
      }
      std::string value;
      if (!reader.value(arg, &value, error)) return false;
      const std::string name = arg == "-o" ? "--output" : arg == "-i" ? "--input" : arg;
      if (name != "--input" && !seen.insert(name).second) {
        *error = "option " + name + " is given twice";
        return false;
      }
      if (!parse_render_option(arg, value, &line->render, error)) return false;
    } else if (line->module_path.empty()) {
      line->module_path = arg;
    } else {
      *error = "unexpected argument '" + arg + "'";
      return false;
    }
  }
  if (line->module_path.empty()) {
    *error = "render needs a module file: semhost render FILE.sem -o OUT.wav";
    return false;
  }
  if (line->render.output_path.empty()) {
    *error = "render needs an output file: -o OUT.wav";
    return false;
  }
  if (line->render.has_seconds && line->render.has_samples) {
    *error = "give the length once: --seconds or --samples, not both";
    return false;
  }
  return true;
}

bool parse_info(const std::vector<std::string>& args, CommandLine* line, std::string* error) {
  ArgumentReader reader(args, 1);
  while (!reader.done()) {
    const std::string arg = reader.next();
    if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    if (!line->module_path.empty()) {
      *error = "unexpected argument '" + arg + "'";
      return false;
    }
    line->module_path = arg;
  }
  if (line->module_path.empty()) {
    *error = "info needs a module file: semhost info FILE.sem";
    return false;
  }
  return true;
}

}  // namespace

bool parse_command_line(const std::vector<std::string>& args, CommandLine* line,
                        std::string* error) {
  *line = CommandLine();
  if (args.empty()) {
    *error = "no command given";
    return false;
  }
  const std::string& command = args[0];
  if (command == "help" || command == "--help" || command == "-h") {
    line->command = CommandLine::Command::help;
    return true;
  }
  if (command == "info") {
    line->command = CommandLine::Command::info;
    return parse_info(args, line, error);
  }
  if (command == "render") {
    line->command = CommandLine::Command::render;
    return parse_render(args, line, error);
  }
  *error = "unknown command '" + command + "'";
  return false;
}

std::string usage_text() {
  return "usage:\n"
         "  semhost info FILE.sem\n"
         "      the module's texts and its pins\n"
         "  semhost render FILE.sem -o OUT.wav [options]\n"
         "      runs the module and writes its output as a 32-bit float WAV file\n"
         "  semhost help\n"
         "\n"
         "render options:\n"
         "  -o, --output OUT.wav    the file to write (required)\n"
         "  -i, --input PIN=SOURCE  what feeds input PIN (A, B, ...); once per pin\n"
         "  --others SOURCE         what feeds every input not named\n"
         "                          (default: a constant of the pin's default value)\n"
         "  --rate HZ               sample rate (default: the input files' rate, else 44100)\n"
         "  --block N               samples per processing call (default 64)\n"
         "  --seconds S             length in seconds (default: the longest input file,\n"
         "                          else 1 second)\n"
         "  --samples N             length in samples, in place of --seconds\n"
         "\n"
         "sources:\n"
         "  sine:FREQ[:LEVEL]       a sine of FREQ Hz and peak LEVEL (default 1)\n"
         "  const:VALUE             a constant\n"
         "  silence                 zero\n"
         "  PATH.wav                a mono 16-bit PCM or 32-bit float WAV file,\n"
         "                          followed by silence when it ends first\n";
}

}  // namespace semhost
