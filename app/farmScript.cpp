#include "farmScript.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct NameParts {
  std::string before, after;
  int width = 0;
};

NameParts outputNameParts(const std::string& output) {
  NameParts parts;
  splitFramePattern(fs::path(output).filename().string(), parts.before, parts.width, parts.after);
  return parts;
}

// As the renderer expands the pattern.
std::string padded(int frame, int width) {
  char number[32];
  std::snprintf(number, sizeof number, "%0*d", width, frame);
  return number;
}

// `text` for a printf format: each '%' doubled.
std::string printfLiteral(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '%' ? std::string("%%") : std::string(1, c);
  return out;
}

}  // namespace

int defaultChunk(const FrameRange& range) {
  const int frames = range.last - range.first + 1;
  const int forLimit = (frames + 999) / 1000;
  return std::min(frames, std::max(4, forLimit));
}

std::string farmLogFolder(const std::string& output) {
  return (fs::path(output).parent_path() / "orvel-logs").string();
}

std::string frameLogPath(const FarmPlan& plan, int frame) {
  const NameParts parts = outputNameParts(plan.output);
  return plan.logFolder + "/" + parts.before + padded(frame, parts.width) + parts.after + ".log";
}

std::string farmJobName(const FarmPlan& plan) {
  const NameParts parts = outputNameParts(plan.output);
  return parts.before + std::to_string(plan.range.first) + "-" + std::to_string(plan.range.last) +
         parts.after;
}

std::string frameRecord(const std::string& jobId, int frame, int exitCode) {
  return "orvel-farm: job " + jobId + " frame " + std::to_string(frame) + " exit " + std::to_string(exitCode);
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string farmJobScript(const FarmPlan& plan) {
  const NameParts parts = outputNameParts(plan.output);
  const std::string first = std::to_string(plan.range.first), last = std::to_string(plan.range.last),
                    chunk = std::to_string(plan.chunk);
  std::string command = shellQuote(plan.orvel) + " render";
  for (const std::string& a : plan.arguments) command += " " + shellQuote(a);
  if (!plan.threadsGiven) command += " ${SLURM_CPUS_PER_TASK:+--threads=$SLURM_CPUS_PER_TASK}";
  // The frame log's name, as frameLogPath gives it, built by printf.
  const std::string logFormat = printfLiteral(plan.logFolder + "/" + parts.before) +
                                (parts.width ? "%0" + std::to_string(parts.width) + "d" : "%d") +
                                printfLiteral(parts.after + ".log");
  return "#!/bin/sh\n"
         "# orvel render --slurm: frames " +
         first + " to " + last + " of " + plan.output + ", " + chunk +
         " a task.\n"
         "# Each frame's output goes to its log in " +
         plan.logFolder +
         ".\n"
         "frame=$((" +
         first + " + SLURM_ARRAY_TASK_ID * " + chunk +
         "))\n"
         "end=$((frame + " +
         chunk + " - 1)); [ \"$end\" -gt " + last + " ] && end=" + last +
         "\n"
         "failed=0\n"
         "while [ \"$frame\" -le \"$end\" ]; do\n"
         "  log=$(printf " +
         shellQuote(logFormat) +
         " \"$frame\")\n"
         "  echo \"== job ${SLURM_ARRAY_JOB_ID}_${SLURM_ARRAY_TASK_ID} on ${SLURMD_NODENAME:-?}, $(date)\" "
         ">>\"$log\"\n"
         "  " +
         command +
         " --frames=\"$frame\" >>\"$log\" 2>&1\n"
         "  code=$?\n"
         "  echo \"orvel-farm: job $SLURM_ARRAY_JOB_ID frame $frame exit $code\" >>\"$log\"\n"
         "  echo \"frame $frame: exit $code, log $log\"\n"
         "  [ \"$code\" -eq 0 ] || failed=1\n"
         "  frame=$((frame + 1))\n"
         "done\n"
         "exit $failed\n";
}
