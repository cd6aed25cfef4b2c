// The command line: `orvel render`, `orvel demo` and `orvel knobs`, parsed into plain requests.
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
};

struct DemoRequest {
  std::string output = "orvel-demo.exr";
  unsigned threads = 0;
  bool quiet = false;
};

enum class Command { None, Render, Demo, Knobs };

struct CommandLine {
  Command command = Command::None;
  RenderRequest render;
  DemoRequest demo;
};

// Parses the arguments. --help prints the help and leaves the command None; a bad command line
// gives a usage status whose message carries CLI11's explanation.
Status parseCommandLine(int argc, char** argv, CommandLine& out);
