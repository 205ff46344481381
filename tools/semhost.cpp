#include "semhost.h"

#include <iomanip>

#include "command_line.h"
#include "module_file.h"
#include "render.h"

namespace semhost {
namespace {

int info(const CommandLine& line, std::ostream& out, std::ostream& err) {
  std::string error;
  ModuleFile module = open_module_file(line.module_path, &error);
  if (!module.library) {
    err << "semhost: " << error << "\n";
    return 1;
  }
  sehost::StandInHost host(*module.library);  // closes the instance before the library goes
  if (!create_instance(&host, line.module_path, &error)) {
    err << "semhost: " << error << "\n";
    return 1;
  }
  out << "file:        " << line.module_path << "\n"
      << "name:        " << module.texts.name << "\n"
      << "unique id:   " << module.texts.unique_id << "\n"
      << "about:       " << module.texts.about << "\n"
      << "sdk version: " << module.texts.sdk_version << "\n"
      << "pins:\n"
      << "  index  name  direction  type   default\n";
  for (size_t p = 0; p < host.pins().size(); ++p) {
    const SEPinProperties& pin = host.pins()[p].properties;
    out << "  " << std::left << std::setw(5) << p << "  " << std::setw(4)
        << (pin.name ? pin.name : "") << "  " << std::setw(9) << direction_name(pin.direction)
        << "  " << std::setw(5) << datatype_name(pin.datatype) << "  "
        << (pin.default_value ? std::string("\"") + pin.default_value + "\"" : "(none)") << "\n";
  }
  return 0;
}

}  // namespace

int run_semhost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!parse_command_line(args, &line, &error)) {
    err << "semhost: " << error << "\n" << usage_text();
    return 2;
  }
  switch (line.command) {
    case CommandLine::Command::help:
      out << usage_text();
      return 0;
    case CommandLine::Command::info:
      return info(line, out, err);
    case CommandLine::Command::render:
      return render(line, out, err);
  }
  return 2;
}

}  // namespace semhost
