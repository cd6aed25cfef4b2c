#include "farm/farmScript.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

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

std::string frameRecordPrefix(const std::string& jobId, int frame) {
  return "orvel-farm: job " + jobId + " frame " + std::to_string(frame) + " exit ";
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

namespace {

// The script, @NAME@ standing for a value of the plan.
constexpr const char* kScript = R"SH(#!/bin/sh
# orvel render --slurm: frames @FIRST@ to @LAST@ of @OUTPUT@, @CHUNK@ a task;
# each frame's messages go to its log in @LOGS@.
frame=$((@FIRST@ + SLURM_ARRAY_TASK_ID * @CHUNK@))
end=$((frame + @CHUNK@ - 1)); [ "$end" -gt @LAST@ ] && end=@LAST@
failed=0
while [ "$frame" -le "$end" ]; do
  log=$(printf @LOGFORMAT@ "$frame")
  echo "== job ${SLURM_ARRAY_JOB_ID}_${SLURM_ARRAY_TASK_ID} on ${SLURMD_NODENAME:-?}, $(date)" >>"$log"
  @COMMAND@ --frames="$frame" >>"$log" 2>&1
  code=$?
  echo "orvel-farm: job $SLURM_ARRAY_JOB_ID frame $frame exit $code" >>"$log"
  echo "frame $frame: exit $code, log $log"
  [ "$code" -eq 0 ] || failed=1
  frame=$((frame + 1))
done
exit $failed
)SH";

// `text` with each @NAME@ replaced by its value, in one pass.
std::string filled(const std::string& text, const std::map<std::string, std::string>& values) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t end = text[i] == '@' ? text.find('@', i + 1) : std::string::npos;
    const auto value = end == std::string::npos ? values.end() : values.find(text.substr(i + 1, end - i - 1));
    if (value == values.end()) {
      out += text[i++];
    } else {
      out += value->second;
      i = end + 1;
    }
  }
  return out;
}

}  // namespace

std::string farmJobScript(const FarmPlan& plan) {
  const NameParts parts = outputNameParts(plan.output);
  std::string command = shellQuote(plan.orvel) + " render";
  for (const std::string& a : plan.arguments) command += " " + shellQuote(a);
  if (!plan.threadsGiven) command += " ${SLURM_CPUS_PER_TASK:+--threads=$SLURM_CPUS_PER_TASK}";
  // The frame log's name, as frameLogPath gives it, built by printf.
  const std::string logFormat = printfLiteral(plan.logFolder + "/" + parts.before) +
                                (parts.width ? "%0" + std::to_string(parts.width) + "d" : "%d") +
                                printfLiteral(parts.after + ".log");
  return filled(kScript, {{"FIRST", std::to_string(plan.range.first)},
                          {"LAST", std::to_string(plan.range.last)},
                          {"CHUNK", std::to_string(plan.chunk)},
                          {"OUTPUT", plan.output},
                          {"LOGS", plan.logFolder},
                          {"LOGFORMAT", shellQuote(logFormat)},
                          {"COMMAND", command}});
}
