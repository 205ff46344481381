#include "module_library.h"

#include <cstring>

#include "failed_checks.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sehost {

#if defined(_WIN32)
namespace {

std::string last_error_text() {
  const DWORD code = GetLastError();
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                 text, sizeof text - 1, nullptr);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

// Points the library's import of msvcrt's `_assert` at our recorder, so that
// a failed check is recorded rather than ending the process.
bool redirect_assert_import(HMODULE library) {
  auto* base = reinterpret_cast<unsigned char*>(library);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return false;
  bool redirected = false;
  for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "msvcrt.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(
        base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
      auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), "_assert") != 0) continue;
      DWORD old_protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                          &old_protection))
        continue;
      slots->u1.Function = reinterpret_cast<DWORD>(failed_check_recorder());
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old_protection,
                     &old_protection);
      redirected = true;
    }
  }
  return redirected;
}

}  // namespace
#endif

std::unique_ptr<ModuleLibrary> ModuleLibrary::load(const std::string& path, std::string* error) {
  std::unique_ptr<ModuleLibrary> library(new ModuleLibrary);
  library->m_path = path;
#if defined(_WIN32)
  HMODULE handle = LoadLibraryA(path.c_str());
  if (handle == nullptr) {
    if (error) *error = path + ": cannot load: " + last_error_text();
    return nullptr;
  }
  library->m_handle = handle;
  library->m_get_properties = reinterpret_cast<GetModulePropertiesFunction>(
      reinterpret_cast<void*>(GetProcAddress(handle, "getModuleProperties")));
  library->m_make_module = reinterpret_cast<MakeModuleFunction>(
      reinterpret_cast<void*>(GetProcAddress(handle, "makeModule")));
  // A library without msvcrt's _assert import reports nothing to redirect.
  library->m_reports_checks = redirect_assert_import(handle);
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error) *error = path + ": cannot load: " + dlerror();
    return nullptr;
  }
  library->m_handle = handle;
  library->m_get_properties =
      reinterpret_cast<GetModulePropertiesFunction>(dlsym(handle, "getModuleProperties"));
  library->m_make_module = reinterpret_cast<MakeModuleFunction>(dlsym(handle, "makeModule"));
  library->m_reports_checks = true;
#endif
  if (library->m_get_properties == nullptr || library->m_make_module == nullptr) {
    if (error)
      *error = path + ": not a module: it does not export " +
               (library->m_get_properties == nullptr ? "getModuleProperties" : "makeModule");
    return nullptr;
  }
  return library;
}

ModuleLibrary::~ModuleLibrary() {
#if defined(_WIN32)
  if (m_handle) FreeLibrary(static_cast<HMODULE>(m_handle));
#else
  if (m_handle) dlclose(m_handle);
#endif
}

}  // namespace sehost
