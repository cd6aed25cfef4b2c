// The command line: `orvel render`, `orvel demo`, `orvel bench` and `orvel knobs`, parsed into plain
// requests.
#pragma once

#include <string>
#include <vector>

#include "status.h"

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
  bool half = false;
  std::string compression;       // EXR compression by name; empty: zip
  std::string deep;              // deep EXR for the Deep Input; empty: none
  bool referenceEngine = false;  // --engine reference
  double maxMemoryGB = 0;        // 0: the default limit
  int depthEdges = 0;            // --depth-edges: ktDepthEdges of this radius before the node; 0: none
};

struct DemoRequest {
  std::string output = "orvel-demo.exr";
  unsigned threads = 0;
  bool quiet = false;
  bool deep = false;  // the deep scene instead of the flat one
};

struct BenchRequest {
  unsigned threads = 0;  // 0: every processor
  int runs = 5;          // timed runs per engine; the minimum is reported
  bool quick = false;    // a 960 x 540 frame, one run each
  int width = 0;         // 0: 1920 x 1080, or 960 x 540 when quick
  int height = 0;
};

enum class Command { None, Render, Demo, Knobs, Bench };

struct CommandLine {
  Command command = Command::None;
  RenderRequest render;
  DemoRequest demo;
  BenchRequest bench;
};

// Parses the arguments. --help prints the help and leaves the command None; a bad command line
// gives a usage status whose message carries CLI11's explanation.
Status parseCommandLine(int argc, char** argv, CommandLine& out);
