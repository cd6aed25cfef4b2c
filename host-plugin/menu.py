# Adds ktOrvel to the host's Nodes toolbar, under Filter. Copy beside ktOrvel.so in a folder on
# the host's plug-in path.
import nuke

nuke.menu("Nodes").addCommand("Filter/ktOrvel", "nuke.createNode('ktOrvel')")
