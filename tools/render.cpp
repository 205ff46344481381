#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "failed_checks.h"
#include "module_file.h"
#include "stand_in_host.h"
#include "wav.h"

namespace semhost {
namespace {

struct PlannedInput {
  int pin;
  std::string name;
  InputSource source;
  std::string origin;  // "" when named on the command line
};

struct StateChange {
  uint32_t clock;
  state_type state;
};

std::string pin_name(const SEPinProperties& properties) {
  return properties.name ? properties.name : "";
}

bool is_audio(const sehost::HostPin& pin, EDirection direction) {
  return pin.properties.direction == direction && pin.properties.datatype == DT_FSAMPLE;
}

// The output that gets written: the one named "Out", else the first audio output.
int find_output(const sehost::StandInHost& host) {
  int first = -1;
  for (size_t p = 0; p < host.pins().size(); ++p) {
    if (!is_audio(host.pins()[p], DR_OUT)) continue;
    if (pin_name(host.pins()[p].properties) == "Out") return int(p);
    if (first < 0) first = int(p);
  }
  return first;
}

std::string input_names(const sehost::StandInHost& host) {
  std::string names;
  for (const sehost::HostPin& pin : host.pins()) {
    if (!is_audio(pin, DR_IN)) continue;
    names += (names.empty() ? "" : ", ") + pin_name(pin.properties);
  }
  return names.empty() ? "none" : names;
}

// A pin nobody named holds its default value, as in a host where it is
// left unconnected, unless --others says otherwise.
InputSource unnamed_input_source(const SEPinProperties& properties, const RenderOptions& options,
                                 std::string* origin) {
  if (options.has_others) {
    *origin = "(--others)";
    return options.others;
  }
  InputSource source;
  double value = 0;
  if (properties.default_value && parse_number(properties.default_value, &value)) {
    source.kind = InputSource::Kind::constant;
    source.value = float(value);
  }
  *origin = "(default)";
  return source;
}

bool plan_inputs(const sehost::StandInHost& host, const CommandLine& line,
                 std::vector<PlannedInput>* planned, std::string* error) {
  const RenderOptions& options = line.render;
  for (const InputAssignment& assignment : options.inputs) {
    bool found = false;
    for (const sehost::HostPin& pin : host.pins())
      found = found || (is_audio(pin, DR_IN) && pin_name(pin.properties) == assignment.pin);
    if (!found) {
      *error = "unknown input '" + assignment.pin + "': " + line.module_path +
               " has the inputs " + input_names(host);
      return false;
    }
  }
  for (size_t p = 0; p < host.pins().size(); ++p) {
    const sehost::HostPin& pin = host.pins()[p];
    if (!is_audio(pin, DR_IN)) continue;
    PlannedInput input{int(p), pin_name(pin.properties), InputSource(), ""};
    auto named = std::find_if(options.inputs.begin(), options.inputs.end(),
                              [&](const InputAssignment& a) { return a.pin == input.name; });
    if (named != options.inputs.end())
      input.source = named->source;
    else
      input.source = unnamed_input_source(pin.properties, options, &input.origin);
    planned->push_back(std::move(input));
  }
  return true;
}

bool load_input_files(std::vector<PlannedInput>* planned, std::string* error) {
  for (PlannedInput& input : *planned)
    if (!load_source_file(&input.source, error)) return false;
  return true;
}

// The rate given, else that of the input files, which must then agree.
bool choose_sample_rate(const RenderOptions& options, const std::vector<PlannedInput>& planned,
                        uint32_t* rate, std::string* error) {
  *rate = options.sample_rate;
  for (const PlannedInput& input : planned) {
    if (input.source.kind != InputSource::Kind::file) continue;
    if (*rate == 0) *rate = input.source.file_rate;
    if (input.source.file_rate != *rate) {
      *error = input.source.path + ": its sample rate of " +
               std::to_string(input.source.file_rate) + " Hz differs from the render's " +
               std::to_string(*rate) + " Hz (semhost does not resample)";
      return false;
    }
  }
  if (*rate == 0) *rate = kDefaultSampleRate;
  return true;
}

bool choose_length(const RenderOptions& options, const std::vector<PlannedInput>& planned,
                   uint32_t rate, uint64_t* samples, std::string* error) {
  // The sample clock is 32 bits wide and the WAV file must fit its size field.
  const uint64_t most = std::min<uint64_t>(wav::max_float_frames(1), 0xFFFFFFFFu);
  if (options.has_samples) {
    *samples = options.samples;
  } else if (options.has_seconds) {
    const double count = std::round(options.seconds * double(rate));
    *samples = count > double(most) ? most + 1 : uint64_t(count);
  } else {
    uint64_t longest = 0;
    bool any_file = false;
    for (const PlannedInput& input : planned) {
      uint64_t end = 0;
      if (input.source.endsAt(&end)) {
        any_file = true;
        longest = std::max(longest, end);
      }
    }
    *samples = any_file ? longest : uint64_t(std::llround(kDefaultSeconds * rate));
  }
  if (*samples == 0) {
    *error = "nothing to render: the length is 0 samples";
    return false;
  }
  if (*samples > most) {
    *error = "too long: a render holds at most " + std::to_string(most) + " samples";
    return false;
  }
  return true;
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

// The output may replace an earlier output, never the module or an input.
bool check_output_path(const CommandLine& line, const std::vector<PlannedInput>& planned,
                       std::string* error) {
  const std::string& output = line.render.output_path;
  std::error_code ec;
  if (std::filesystem::is_directory(output, ec)) {
    *error = output + ": is a directory; name the output file";
    return false;
  }
  if (same_file(output, line.module_path)) {
    *error = output + ": is the module file itself; name another output file";
    return false;
  }
  for (const PlannedInput& input : planned) {
    if (input.source.kind == InputSource::Kind::file && same_file(output, input.source.path)) {
      *error = output + ": is also an input file; name another output file";
      return false;
    }
  }
  return true;
}

void queue_status_change(sehost::StandInHost* host, int pin, state_type state, uint32_t clock) {
  host->queueEvent(SeEvent(clock, EV_STATUS_CHANGE, state, 0,
                           reinterpret_cast<void*>(static_cast<uintptr_t>(pin))));
}

// What a host announces: every input's state at the start, and a file's
// end, after which it holds at zero.
void queue_input_states(sehost::StandInHost* host, const std::vector<PlannedInput>& planned,
                        uint64_t length) {
  for (const PlannedInput& input : planned) {
    uint64_t end = 0;
    const bool ends = input.source.endsAt(&end);
    queue_status_change(host, input.pin, ends && end == 0 ? ST_STATIC : input.source.state(), 0);
    if (ends && end > 0 && end < length) queue_status_change(host, input.pin, ST_STATIC, uint32_t(end));
  }
}

// The module may announce a state several times for one clock (once per
// input event); the last one for each clock is what holds from then on.
void collect_output_states(const sehost::StandInHost& host, int output,
                           std::vector<StateChange>* changes) {
  for (const sehost::PinStatusAnnouncement& announced : host.pinStatusAnnouncements()) {
    if (announced.pin != output) continue;
    if (!changes->empty() && changes->back().clock == announced.clock)
      changes->back().state = announced.state;
    else
      changes->push_back({announced.clock, announced.state});
  }
}

std::string describe_states(const std::vector<StateChange>& announced) {
  std::vector<StateChange> changes;
  for (const StateChange& change : announced)
    if (changes.empty() || changes.back().state != change.state) changes.push_back(change);
  if (changes.empty()) return "none announced";
  if (changes.size() == 1 && changes[0].clock == 0) return state_name(changes[0].state);
  std::string text;
  for (const StateChange& change : changes)
    text += std::string(text.empty() ? "" : ", ") + state_name(change.state) + " from sample " +
            std::to_string(change.clock);
  return text;
}

std::string seconds_text(uint64_t samples, uint32_t rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%g s", double(samples) / double(rate));
  return text;
}

void print_plan(const ModuleFile& module, const CommandLine& line,
                const std::vector<PlannedInput>& planned, std::ostream& out) {
  out << "module: " << module.texts.name << " (" << line.module_path << ")\n";
  out << "inputs:\n";
  for (const PlannedInput& input : planned) {
    std::string described = input.source.describe();
    if (!input.origin.empty()) described += " " + input.origin;
    out << "  " << input.name << "  " << described << ", "
        << state_name(input.source.state()) << "\n";
  }
}

}  // namespace

int render(const CommandLine& line, std::ostream& out, std::ostream& err) {
  const RenderOptions& options = line.render;
  std::string error;
  auto failed = [&]() {
    err << "semhost: " << error << "\n";
    return 1;
  };

  ModuleFile module = open_module_file(line.module_path, &error);
  if (!module.library) return failed();
  sehost::clear_failed_checks();
  sehost::StandInHost host(*module.library);
  host.setBlockSize(options.block_size);
  if (!create_instance(&host, line.module_path, &error)) return failed();

  const int output = find_output(host);
  if (output < 0) {
    error = line.module_path + ": has no audio output to render";
    return failed();
  }
  const std::string output_name = pin_name(host.pins()[size_t(output)].properties);
  std::vector<PlannedInput> planned;
  uint32_t rate = 0;
  uint64_t length = 0;
  if (!plan_inputs(host, line, &planned, &error) || !load_input_files(&planned, &error) ||
      !choose_sample_rate(options, planned, &rate, &error) ||
      !choose_length(options, planned, rate, &length, &error) ||
      !check_output_path(line, planned, &error))
    return failed();

  wav::FloatWriter writer;
  if (!writer.open(options.output_path, 1, rate, length, &error)) return failed();

  host.dispatch(MOD_SET_SAMPLE_RATE, 0, 0, nullptr, float(rate));
  host.open();
  queue_input_states(&host, planned, length);
  std::vector<StateChange> states;
  for (uint64_t done = 0; done < length;) {
    const long count = long(std::min<uint64_t>(uint64_t(options.block_size), length - done));
    for (const PlannedInput& input : planned)
      input.source.fill(host.buffer(input.pin), done, size_t(count), rate);
    host.runBlock(count);
    collect_output_states(host, output, &states);
    host.clearCalls();
    if (!writer.write(host.buffer(output), size_t(count), &error)) return failed();
    done += uint64_t(count);
  }
  if (!writer.finish(&error)) return failed();
  host.close();

  print_plan(module, line, planned, out);
  out << "wrote " << options.output_path << ": " << length << " samples at " << rate << " Hz ("
      << seconds_text(length, rate) << "), blocks of " << options.block_size << "\n";
  out << output_name << " stream state: " << describe_states(states) << "\n";
  for (const sehost::FailedCheck& check : sehost::failed_checks())
    err << "semhost: warning: the module reported a failed check: \"" << check.expression
        << "\" (" << check.source << ", line " << check.line << ")\n";
  return 0;
}

}  // namespace semhost
