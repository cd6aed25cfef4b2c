#include "render/pluginLoader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "DDImage/Op.h"

namespace fs = std::filesystem;

namespace {

// The module loadNodePlugin opened; never closed.
void* loadedModule = nullptr;

std::string environment(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

std::string executableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

std::vector<std::string> pluginFolders(const std::string& pluginPath, const std::string& exeFolder) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= pluginPath.size()) {
    size_t colon = pluginPath.find(':', start);
    if (colon == std::string::npos) colon = pluginPath.size();
    if (colon > start) folders.push_back(pluginPath.substr(start, colon - start));
    start = colon + 1;
  }
  folders.push_back(exeFolder);
  return folders;
}

Status loadNodePlugin(const std::string& moduleName, const std::string& nodeName,
                      const std::string& besideFolder) {
  if (DD::Image::Op::find_description(nodeName.c_str(), nullptr)) return Status::success();
  const std::string file = moduleName + ".so";
  std::string searched;
  for (const std::string& folder : pluginFolders(environment("ORVEL_PLUGIN_PATH"), besideFolder)) {
    const fs::path candidate = fs::path(folder) / file;
    std::error_code ec;
    searched += (searched.empty() ? "" : ", ") + folder;
    if (!fs::is_regular_file(candidate, ec)) continue;
    // Never closed: the registry keeps pointers into the module, as the host's does.
    loadedModule = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!loadedModule) {
      const char* why = ::dlerror();
      return Status::usage("cannot load the node plug-in '" + candidate.string() + "': " + (why ? why : "?"));
    }
    if (!DD::Image::Op::find_description(nodeName.c_str(), nullptr))
      return Status::usage("the plug-in '" + candidate.string() + "' did not register " + nodeName);
    return Status::success();
  }
  return Status::usage("cannot find the node plug-in " + file + " (searched " + searched +
                       "; set ORVEL_PLUGIN_PATH to its folder)");
}

void* pluginSymbol(const char* symbol) { return ::dlsym(loadedModule ? loadedModule : RTLD_DEFAULT, symbol); }

void limitNodeMemory(DD::Image::Op& node, double bytes) {
  using LimitMemory = void (*)(DD::Image::Op*, double);
  if (const auto limit = reinterpret_cast<LimitMemory>(pluginSymbol("ktOrvelLimitMemory")))
    limit(&node, bytes);
}

Status chooseEngine(DD::Image::Op& node, bool reference) {
  using UseReference = void (*)(DD::Image::Op*, int);
  const auto use = reinterpret_cast<UseReference>(pluginSymbol("ktOrvelUseReferenceEngine"));
  if (!use) {
    if (!reference) return Status::success();
    return Status::usage("the node plug-in has no reference engine (ktOrvelUseReferenceEngine)");
  }
  use(&node, reference ? 1 : 0);
  return Status::success();
}
