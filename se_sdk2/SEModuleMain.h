// The library's two exports, and what they need from the one concrete module
// class of the library.
//
// Both exports are cdecl with plain, unmangled names; the library exports
// nothing else. Each library holds one module, index 0.
#pragma once

#include "SEModule_base.h"
#include "se_records.h"

#if defined(_WIN32)
#define SE_EXPORT
#else
#define SE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// Writes sdk_version whatever the index; for index 0 the module's three
// texts too, and answers 1. Any other index answers 0.
SE_EXPORT int32_t SE_CDECL getModuleProperties(int index, SEModuleProperties* properties);
// Creates an instance for index 0 and type 1 (the processing object) and
// answers the address of its record; null otherwise or when it cannot be made.
SE_EXPORT SEMod_struct_base2* SE_CDECL makeModule(int index, int type,
                                                  SEHostCallback callback,
                                                  void* host_ptr);
}

// Supplied once per library by the concrete module.
namespace se_module_class {
// The module's texts: name, unique_id and about.
void describe(SEModuleProperties* properties);
// A new instance, or null when it cannot be allocated.
SEModule_base* create(SEHostCallback callback, void* host_ptr);
}  // namespace se_module_class
