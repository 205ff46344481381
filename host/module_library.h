// A module library loaded into this process: dlopen natively, LoadLibrary on
// Windows. Owns the handle; unloading happens on destruction, so every
// instance made from it must be closed first.
#pragma once

#include <memory>
#include <string>

#include "se_records.h"

namespace sehost {

typedef int32_t(SE_CDECL* GetModulePropertiesFunction)(int index,
                                                        SEModuleProperties* properties);
typedef SEMod_struct_base2*(SE_CDECL* MakeModuleFunction)(int index, int type,
                                                           SEHostCallback callback,
                                                           void* host_ptr);

class ModuleLibrary {
 public:
  // Null, with `error` saying why, when the file cannot be loaded or lacks
  // either export.
  static std::unique_ptr<ModuleLibrary> load(const std::string& path, std::string* error);
  ~ModuleLibrary();

  GetModulePropertiesFunction getModuleProperties() const { return m_get_properties; }
  MakeModuleFunction makeModule() const { return m_make_module; }
  const std::string& path() const { return m_path; }
  // Whether the library's `_assert` import now reaches the recorder of
  // failed checks (always true natively, where the process exports it).
  bool reportsFailedChecks() const { return m_reports_checks; }

 private:
  ModuleLibrary() = default;
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  void* m_handle = nullptr;
  std::string m_path;
  GetModulePropertiesFunction m_get_properties = nullptr;
  MakeModuleFunction m_make_module = nullptr;
  bool m_reports_checks = false;
};

}  // namespace sehost
