#include "files/imageModule.h"

#include <dlfcn.h>

#include <filesystem>

#include "render/pluginLoader.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEL_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ORVEL_LEAK_CHECKED 1
#endif
#ifdef ORVEL_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Under AddressSanitizer, the leak check runs here, before the module brings in OpenImageIO and
// its ~260 libraries, and not again at exit. Those libraries leave threads and thread-local
// blocks of their own alive at exit (log4cplus starts a pool as it loads, OpenImageIO another
// when it converts pixels), and the leak checker's stop-the-world tracer can crash on them under
// load (signal 11 inside the tracer, exit 1 with a correct picture). Everything orvel allocated
// until now is still checked; what the module's libraries do is theirs.
void checkLeaksBeforeTheModule() {
#ifdef ORVEL_LEAK_CHECKED
  __lsan_do_leak_check();
#endif
}

struct Loaded {
  const imagemodule::Functions* functions = nullptr;
  std::string problem;
};

Loaded load() {
  checkLeaksBeforeTheModule();
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
