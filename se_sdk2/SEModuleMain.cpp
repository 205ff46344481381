#include "SEModuleMain.h"

extern "C" int32_t SE_CDECL getModuleProperties(int index,
                                                SEModuleProperties* properties) {
  // A host that passes no record learns nothing.
  if (properties == nullptr) return 0;
  properties->sdk_version = SE_SDK_VERSION;
  if (index != 0) return 0;
  se_module_class::describe(properties);
  return 1;
}

extern "C" SEMod_struct_base2* SE_CDECL makeModule(int index, int type,
                                                   SEHostCallback callback,
                                                   void* host_ptr) {
  if (index != 0) return nullptr;
  if (type != 1) return nullptr;  // only the processing object is made here
  SEModule_base* module = se_module_class::create(callback, host_ptr);
  if (module == nullptr) return nullptr;
  return module->getAeffect();
}
