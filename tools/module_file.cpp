#include "module_file.h"

#include <filesystem>
#include <system_error>

namespace semhost {

ModuleFile open_module_file(const std::string& path, std::string* error) {
  ModuleFile file;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    *error = path + ": no such file";
    return file;
  }
  if (std::filesystem::is_directory(status)) {
    *error = path + ": is a directory, not a module file";
    return file;
  }
  // The loader's own messages already name the file and the reason.
  std::unique_ptr<sehost::ModuleLibrary> library = sehost::ModuleLibrary::load(path, error);
  if (!library) return file;
  file.texts = sehost::read_module_texts(library->getModuleProperties());
  if (!file.texts.ok) {
    *error = path + ": not a module: getModuleProperties describes no module 0";
    return file;
  }
  file.library = std::move(library);
  return file;
}

bool create_instance(sehost::StandInHost* host, const std::string& path, std::string* error) {
  if (!host->create()) {
    *error = path + ": makeModule made no instance of module 0";
    return false;
  }
  host->readDescriptions();
  return true;
}

const char* direction_name(EDirection direction) {
  return direction == DR_IN ? "in" : direction == DR_OUT ? "out" : "?";
}

std::string datatype_name(EPlugDataType datatype) {
  if (datatype == DT_FSAMPLE) return "audio";
  return "type " + std::to_string(int(datatype));
}

const char* state_name(state_type state) {
  switch (state) {
    case ST_STATIC:
      return "static";
    case ST_ONE_SHOT:
      return "one-shot";
    case ST_RUNNING:
      return "running";
  }
  return "unknown";
}

}  // namespace semhost
