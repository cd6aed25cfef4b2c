// Where orvel looks for the node's plug-in module.
#include <gtest/gtest.h>

#include "pluginLoader.h"

namespace {

using Folders = std::vector<std::string>;

TEST(PluginFolders, PathEntriesInOrderThenTheExecutablesFolder) {
  EXPECT_EQ(pluginFolders("/a:/b", "/exe"), (Folders{"/a", "/b", "/exe"}));
  EXPECT_EQ(pluginFolders("/a", "/exe"), (Folders{"/a", "/exe"}));
}

TEST(PluginFolders, EmptyEntriesAreSkipped) {
  EXPECT_EQ(pluginFolders("", "/exe"), (Folders{"/exe"}));
  EXPECT_EQ(pluginFolders("::/a::", "/exe"), (Folders{"/a", "/exe"}));
}

}  // namespace
