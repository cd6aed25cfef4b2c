// The node plug-in module: loading it, its symbols, and choosing its engine.
#pragma once

#include <string>
#include <vector>

#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Loading the node the way the host loads plug-ins: dlopen its module, whose static
// description then registers the node by name.

// The folder of this executable.
std::string executableFolder();

// Folders to search, in order: those on `pluginPath` (colon-separated, empty entries skipped),
// then `executableFolder`.
std::vector<std::string> pluginFolders(const std::string& pluginPath, const std::string& executableFolder);

// Loads `<moduleName>.so` from the first folder that has it (ORVEL_PLUGIN_PATH, then
// `besideFolder`: this executable's, or the Python module's), unless `nodeName` is registered
// already, and checks that it registered. The module stays loaded for the life of the process,
// as plug-ins do in the host.
Status loadNodePlugin(const std::string& moduleName, const std::string& nodeName,
                      const std::string& besideFolder = executableFolder());

// The address of `symbol` in the loaded plug-in module (or, when the node was registered without
// one, in the program); null when it is not there.
void* pluginSymbol(const char* symbol);

// Choosing the node's engine: the fast one, or the straightforward reference kept to verify it.

// Selects the engine of `node` through the plug-in's C entry point ktOrvelUseReferenceEngine.
Status chooseEngine(DD::Image::Op& node, bool reference);

// Hands the renderer's memory limit to `node` through the plug-in's C entry point
// ktOrvelLimitMemory, for what the node builds itself (the Lens Trace layers); a plug-in without
// it keeps its own limit.
void limitNodeMemory(DD::Image::Op& node, double bytes);
