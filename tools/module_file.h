// Opens a module library for semhost, with errors that name the file and
// say why it cannot be used.
#pragma once

#include <memory>
#include <string>

#include "module_library.h"
#include "stand_in_host.h"

namespace semhost {

struct ModuleFile {
  std::unique_ptr<sehost::ModuleLibrary> library;
  sehost::ModuleTexts texts;
};

// Null library, and `error` set, when the file is missing, cannot be loaded,
// or is not a module.
ModuleFile open_module_file(const std::string& path, std::string* error);

// Creates the instance and reads its pin descriptions.
bool create_instance(sehost::StandInHost* host, const std::string& path, std::string* error);

const char* direction_name(EDirection direction);
std::string datatype_name(EPlugDataType datatype);
const char* state_name(state_type state);

}  // namespace semhost
