#include "module_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace semhost {
namespace {

// Why the file cannot be a module library of this platform, or "" when its
// header fits. The loader's own messages for these cases say little.
std::string library_header_problem(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[64] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const size_t got = size_t(in.gcount());
#if defined(_WIN32)
  if (got < sizeof head || head[0] != 'M' || head[1] != 'Z') return "not a Windows library";
  const uint32_t pe = uint32_t(head[0x3C]) | uint32_t(head[0x3D]) << 8 |
                      uint32_t(head[0x3E]) << 16 | uint32_t(head[0x3F]) << 24;
  unsigned char signature[6] = {};
  in.clear();
  in.seekg(std::streamoff(pe));
  in.read(reinterpret_cast<char*>(signature), sizeof signature);
  if (in.gcount() != sizeof signature || std::memcmp(signature, "PE\0\0", 4) != 0)
    return "not a Windows library";
  if ((signature[4] | signature[5] << 8) != 0x14C) return "not a 32-bit x86 library";
#else
  if (got < 20 || std::memcmp(head, "\x7f" "ELF", 4) != 0) return "not a shared library";
  if (head[4] != 1 || (head[18] | head[19] << 8) != 3) return "not a 32-bit x86 library";
#endif
  return "";
}

}  // namespace

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
  const std::string problem = library_header_problem(path);
  if (!problem.empty()) {
    *error = path + ": cannot load: " + problem;
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
