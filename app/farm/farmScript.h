// The job script of a farm render: each Slurm array task renders its chunk of the frame range one
// frame at a time, so that a frame that fails does not stop the others, and appends to each
// frame's log a line with the frame's exit status, which `--wait` reads.
#pragma once

#include <string>
#include <vector>

#include "cli/frameRange.h"

struct FarmPlan {
  FrameRange range;
  int chunk = 1;                       // frames a task
  std::string orvel;                   // absolute path of the executable
  std::vector<std::string> arguments;  // the render's options, without --frames
  std::string output;                  // absolute output path, with its frame pattern
  std::string logFolder;
  bool threadsGiven = false;  // else a task renders with the CPUs Slurm gave it

  int tasks() const { return (range.last - range.first) / chunk + 1; }
};

// The default chunk: at least 4 frames a task and at most 1000 tasks (Slurm's default array limit),
// never more tasks than frames.
int defaultChunk(const FrameRange& range);

// The folder beside the outputs where the job script and the logs go.
std::string farmLogFolder(const std::string& output);

// The log of one frame: the output's file name with the frame, then ".log".
std::string frameLogPath(const FarmPlan& plan, int frame);

// A name for the whole job's files: the output's file name with "FIRST-LAST" for its pattern.
std::string farmJobName(const FarmPlan& plan);

// The start of the line a task appends to a frame's log once the frame's render ends; the
// render's exit status follows.
std::string frameRecordPrefix(const std::string& jobId, int frame);

// `text` quoted for the POSIX shell.
std::string shellQuote(const std::string& text);

// The array job's script (POSIX sh).
std::string farmJobScript(const FarmPlan& plan);
