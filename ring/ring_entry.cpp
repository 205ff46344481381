// The one module class of a library, chosen by RING_INPUTS at build time.
#include <new>

#include "Module.h"
#include "SEModuleMain.h"

#ifndef RING_INPUTS
#error "build each library with -DRING_INPUTS=<number of inputs>"
#endif

namespace se_module_class {

void describe(SEModuleProperties* properties) {
  Module<RING_INPUTS>::getModuleProperties(properties);
}

SEModule_base* create(SEHostCallback callback, void* host_ptr) {
  return new (std::nothrow) Module<RING_INPUTS>(callback, host_ptr);
}

}  // namespace se_module_class
