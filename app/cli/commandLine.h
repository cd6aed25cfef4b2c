// The command line: `orvel render`, `orvel demo`, `orvel bench` and `orvel knobs`, parsed into plain
// requests.
#pragma once

#include <string>
#include <vector>

#include "status.h"

// orvel render --slurm: the frame range submitted to Slurm as an array job.
struct FarmRequest {
  bool slurm = false;
  int chunk = 0;       // frames a task; 0: chosen from the range
  std::string sbatch;  // options for sbatch, as typed
  bool wait = false;   // wait for the job's end and check every frame
  // The render's own options as given, --frames and the farm's options left out, paths made
  // absolute: what each task runs again on its frames.
  std::vector<std::string> arguments;
  bool threadsGiven = false;
};

struct RenderRequest {
  std::string input;  // empty: the node's default input
  std::string output;
  std::vector<std::string> sets;  // KNOB=VALUE, in the order given
  std::string script;
  std::string kernel;
  std::string mattes;
  std::string camera;
  bool hasCamera = false;
  std::string frames;    // empty: one image
  unsigned threads = 0;  // 0: every processor
  bool quiet = false;
  bool half = false;                // --half: every channel but the depth as 16-bit floats
  bool floats = false;              // --float: every channel as 32-bit floats; neither: each as its source's
  std::string compression;          // EXR compression by name; empty: zip
  std::string deep;                 // deep EXR for the Deep Input; empty: none
  std::vector<std::string> layers;  // --layer: flat layers merged into the Deep Input instead
  bool referenceEngine = false;     // --engine reference
  double maxMemoryGB = 0;           // 0: the default limit
  int depthEdges = 0;               // --depth-edges: ktDepthEdges of this radius before the node; 0: none
  std::string part;           // --part: the part of a multi-part INPUT, by name or index; empty: the first
  std::string focusAt;        // --focus-at X,Y: focalPlane from the depth at that pixel; empty: none
  bool skipExisting = false;  // frames whose output exists are not rendered again
  FarmRequest farm;
};

struct DepthRequest {
  std::string input;
  std::vector<std::string> sets;
  std::string script;
  std::string part;
};

struct DemoRequest {
  std::string output = "orvel-demo.exr";
  unsigned threads = 0;
  bool quiet = false;
  bool deep = false;              // the deep scene instead of the flat one
  bool occluder = false;          // the occluder deep frame instead
  std::vector<std::string> sets;  // KNOB=VALUE over the demo's own knobs
};

struct BenchRequest {
  unsigned threads = 0;  // 0: every processor
  int runs = 5;          // timed runs per engine; the minimum is reported
  bool quick = false;    // a 960 x 540 frame, one run each
  int width = 0;         // 0: 1920 x 1080, or 960 x 540 when quick
  int height = 0;
  std::string cases;  // only the cases whose name holds this text
  std::string keep;   // a folder to write each engine's picture into, to compare builds
};

enum class Command { None, Render, Demo, Knobs, Bench, Depth };

struct CommandLine {
  Command command = Command::None;
  RenderRequest render;
  DemoRequest demo;
  BenchRequest bench;
  DepthRequest depth;
  std::vector<std::string> knobNames;  // orvel knobs NAME...: only these; empty: all
};

// Parses the arguments. --help prints the help and leaves the command None; a bad command line
// gives a usage status whose message carries CLI11's explanation.
Status parseCommandLine(int argc, char** argv, CommandLine& out);
