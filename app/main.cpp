// orvel: the command-line renderer for the ktOrvel lens-defocus node.
//   orvel render [INPUT] -o OUTPUT [options]   defocus one image, or a frame range
//   orvel render ... --frames A-B --slurm       the frame range as a Slurm array job
//   orvel demo [-o OUTPUT]                      render the built-in scene
//   orvel bench [--quick]                       time the engines on built-in frames
//   orvel knobs [NAME...]                       list the parameters of ktOrvel and ktDepthEdges
//   orvel depth FILE [--set ...]                a file's depths and the blur the knobs give them
// Exit status: 0 success, 1 the node reported an error, 2 a usage or input problem,
// 128 + the signal number when interrupted (130 for Ctrl-C).
#include <malloc.h>

#include <exception>
#include <iostream>
#include <new>
#include <sstream>

#include "bench/benchCommand.h"
#include "cli/commandLine.h"
#include "cli/knobs.h"
#include "cli/messages.h"
#include "demo/demoCommand.h"
#include "depth/depthCommand.h"
#include "farm/farmCommand.h"
#include "render/depthEdgesNode.h"
#include "render/interruption.h"
#include "render/nodeSession.h"
#include "render/renderCommand.h"
#include "standin/OpHost.h"

namespace {

// The allocator settings of the renderer, as a host chooses its own allocator: freed memory stays
// at the heap top for reuse instead of returning to the system. The engines allocate and free row
// buffers of a few hundred kilobytes per row, and glibc's default trimming would otherwise cost a
// system call and a TLB flush per row.
void tuneAllocator() {
  // Trim only when a gigabyte lies free at the top of a heap.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // Blocks below 32 MB (glibc's largest mmap threshold) come from the heap, so row buffers are
  // reused rather than mapped and unmapped each time.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  // One heap for every thread: what one frame frees (kernel bank, source bands, rows) serves the
  // next frame whichever threads allocate it, instead of each thread's heap keeping its own.
  mallopt(M_ARENA_MAX, 1);
}

// Both nodes of the plug-in, each under a heading line "# NAME"; with names, only those knobs
// (ktDepthEdges.NAME for the depth-edge node), and a name neither node has is refused.
int listKnobs(std::vector<std::string> names) {
  std::unique_ptr<DD::Image::Op> node, edges;
  DD::Image::Iop* iop = nullptr;
  if (Status s = createOrvelNode(node, iop); !s.ok()) return reportStatus(s);
  if (Status s = createDepthEdgesNode(edges); !s.ok()) return reportStatus(s);
  if (!names.empty()) {
    std::ostringstream rows;  // printed only when every name is known
    printKnobTable(*node, rows, names, "");
    printKnobTable(*edges, rows, names, "ktDepthEdges.");
    if (names.empty()) {
      std::cout << "name\tlabel\tkind\tdefault\trange\tflags\ttooltip\n" << rows.str();
      return kExitOk;
    }
    std::vector<std::string> known;
    for (const auto* k : DD::Image::OpHost::knobs(*node)) known.push_back(k->name());
    for (const auto* k : DD::Image::OpHost::knobs(*edges)) known.push_back("ktDepthEdges." + k->name());
    const std::vector<std::string> near = nearestNames(names.front(), known);
    return reportStatus(Status::usage(
        "no knob '" + names.front() + "' (" +
        (near.empty() ? "orvel knobs lists them" : "did you mean " + joinAlternatives(near) + "?") + ")"));
  }
  std::cout << "# ktOrvel\n";
  printKnobTable(*node, std::cout);
  std::cout << "\n# ktDepthEdges (orvel render --depth-edges; set with --set ktDepthEdges.KNOB=VALUE)\n";
  printKnobTable(*edges, std::cout);
  return kExitOk;
}

int run(int argc, char** argv) {
  CommandLine commandLine;
  if (Status s = parseCommandLine(argc, argv, commandLine); !s.ok()) return reportStatus(s);
  switch (commandLine.command) {
    case Command::Render:
      if (commandLine.render.farm.slurm) return submitToSlurm(commandLine.render);
      return runRender(commandLine.render);
    case Command::Demo:
      return runDemo(commandLine.demo);
    case Command::Knobs:
      return listKnobs(commandLine.knobNames);
    case Command::Depth:
      return runDepth(commandLine.depth);
    case Command::Bench:
      return runBench(commandLine.bench);
    case Command::None:
      return kExitOk;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  tuneAllocator();
  installInterruptHandlers();
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return reportStatus(Status::usage("out of memory"));
  } catch (const std::exception& e) {
    return reportStatus(Status::usage(e.what()));
  }
}
