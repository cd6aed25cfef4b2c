# Adds ktOrvel and ktDepthEdges to the host's Nodes toolbar, under Filter. Copy beside ktOrvel.so
# in a folder on the host's plug-in path.
import nuke

# Both nodes live in ktOrvel.so: loading it registers ktDepthEdges too, which the host would
# otherwise look for in a module of its own name.
nuke.load("ktOrvel")
nuke.menu("Nodes").addCommand("Filter/ktOrvel", "nuke.createNode('ktOrvel')")
nuke.menu("Nodes").addCommand("Filter/ktDepthEdges", "nuke.createNode('ktDepthEdges')")
