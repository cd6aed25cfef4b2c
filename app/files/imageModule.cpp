#include "files/imageModule.h"

#include <dlfcn.h>

#include <filesystem>

#include "render/pluginLoader.h"

namespace {

struct Loaded {
  const imagemodule::Functions* functions = nullptr;
  std::string problem;
};

Loaded load() {
  const std::string path = (std::filesystem::path(executableFolder()) / imagemodule::kFileName).string();
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = ::dlerror();
    return {nullptr, why ? why : "cannot load " + path};
  }
  using Entry = const imagemodule::Functions* (*)();
  const auto entry = reinterpret_cast<Entry>(::dlsym(module, imagemodule::kEntryPoint));
  const imagemodule::Functions* functions = entry ? entry() : nullptr;
  if (!functions || functions->version != imagemodule::kVersion)
    return {nullptr, "the image module " + path + " is not the one built with this orvel"};
  return {functions, ""};
}

}  // namespace

Status imageModule(const std::string& forPath, const imagemodule::Functions*& out) {
  static const Loaded loaded = load();  // once: a module is loaded for the life of the process
  out = loaded.functions;
  if (out) return Status::success();
  return Status::usage("'" + forPath + "' needs the image module " + imagemodule::kFileName +
                       " (formats other than OpenEXR go through it): " + loaded.problem);
}
