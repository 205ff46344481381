#include "ring_host.h"

#include <gtest/gtest.h>

#include <map>

#include "plugins.h"

namespace ringtest {
namespace {

// Kept loaded until the process ends, after every host (and so every
// instance) of a test is gone.
const sehost::ModuleLibrary* library(int inputs) {
  static std::map<int, std::unique_ptr<sehost::ModuleLibrary>> loaded;
  auto found = loaded.find(inputs);
  if (found != loaded.end()) return found->second.get();
  std::string error;
  auto library = sehost::ModuleLibrary::load(plugin_path(inputs), &error);
  if (!library) {
    ADD_FAILURE() << "cannot load " << plugin_path(inputs) << ": " << error;
    return nullptr;
  }
  return (loaded[inputs] = std::move(library)).get();
}

}  // namespace

std::unique_ptr<sehost::StandInHost> open_ring(int inputs, const RingOptions& options) {
  const sehost::ModuleLibrary* loaded = library(inputs);
  if (loaded == nullptr) return nullptr;
  auto host = std::make_unique<sehost::StandInHost>(*loaded);
  host->setStackMisalignment(options.stack_misalignment);
  if (options.pin_count >= 0) host->setPinCount(options.pin_count);
  if (!host->create()) {
    ADD_FAILURE() << "makeModule gave no instance of the " << inputs << "-input build";
    return nullptr;
  }
  host->setBlockSize(options.block);
  host->open();
  if (host->pins().size() != size_t(inputs) + 1) {
    ADD_FAILURE() << "the " << inputs << "-input build describes " << host->pins().size()
                  << " pins";
    return nullptr;
  }
  return host;
}

std::string build_name(int inputs) { return "N" + std::to_string(inputs); }

}  // namespace ringtest
