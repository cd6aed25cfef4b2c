#include "farm/farmCommand.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/messages.h"
#include "farm/farmScript.h"
#include "files/outputFile.h"
#include "render/interruption.h"

namespace fs = std::filesystem;

namespace {

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// Everything that would make every task fail, checked before anything is submitted.
Status checkRequest(const RenderRequest& r, FrameRange& range) {
  if (r.frames.empty())
    return Status::usage("--slurm needs --frames A-B, the frames to spread over the farm");
  if (Status s = parseFrameRange(r.frames, range); !s.ok()) return s;
  const std::pair<const char*, std::string> paths[] = {
      {"output", r.output}, {"input", r.input}, {"deep", r.deep}};
  for (const auto& [what, path] : paths)
    if (!path.empty() && !hasFramePattern(path))
      return Status::usage(std::string("--slurm needs # or %04d in the ") + what + " path '" + path + "'");
  if (r.input.empty() && r.deep.empty())
    return Status::usage("--slurm needs an INPUT or --deep path with # or %04d for the frame");
  OutputKind kind;
  if (Status s = outputKindOf(r.output, kind); !s.ok()) return s;
  if (Status s = checkOutputPath(expandFramePattern(r.output, range.first)); !s.ok()) return s;
  if (!onPath("sbatch")) return Status::usage("--slurm needs Slurm's sbatch on the PATH; it is not there");
  return Status::success();
}

// Runs `command` through the shell; its standard output goes to `output`.
int runShell(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

FarmPlan planFor(const RenderRequest& r, const FrameRange& range) {
  FarmPlan plan;
  plan.range = range;
  plan.chunk = r.farm.chunk > 0 ? r.farm.chunk : defaultChunk(range);
  std::error_code ec;
  plan.orvel = fs::read_symlink("/proc/self/exe", ec).string();
  plan.arguments = r.farm.arguments;
  plan.output = fs::absolute(r.output).lexically_normal().string();
  plan.logFolder = farmLogFolder(plan.output);
  plan.threadsGiven = r.farm.threadsGiven;
  return plan;
}

// '%' is sbatch's own substitution character in file names.
std::string sbatchLiteral(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '%' ? std::string("%%") : std::string(1, c);
  return out;
}

// Writes the job script beside the logs and submits it; `jobId` receives the job's number.
Status submit(const RenderRequest& r, const FarmPlan& plan, std::string& jobId) {
  std::error_code ec;
  fs::create_directories(plan.logFolder, ec);
  const std::string script = plan.logFolder + "/" + farmJobName(plan) + ".sh";
  std::ofstream(script) << farmJobScript(plan);
  if (ec || !fs::exists(script)) return Status::usage("cannot write the job script '" + script + "'");
  std::string command = "sbatch --parsable --array=0-" + std::to_string(plan.tasks() - 1) +
                        " --job-name=" + shellQuote("orvel-" + farmJobName(plan)) + " --output=" +
                        shellQuote(sbatchLiteral(plan.logFolder + "/" + farmJobName(plan)) + ".%A_%a.log");
  if (r.threads > 0) command += " --cpus-per-task=" + std::to_string(r.threads);
  command += " " + r.farm.sbatch + " " + shellQuote(script);
  // sbatch's messages go to stderr as they come; --parsable puts "ID[;CLUSTER]" last on stdout.
  std::string output;
  const int code = runShell(command, output);
  output = trimmed(output);
  const std::string last =
      output.substr(output.rfind('\n') == std::string::npos ? 0 : output.rfind('\n') + 1);
  jobId = last.substr(0, last.find(';'));
  if (code != 0 || jobId.empty() || jobId.find_first_not_of("0123456789") != std::string::npos)
    return Status::usage("sbatch did not submit the job (status " + std::to_string(code) + ")" +
                         (output.empty() ? "" : ": " + output));
  return Status::success();
}

bool finishedState(const std::string& state) {
  for (const char* s : {"COMPLETED", "FAILED", "CANCELLED", "TIMEOUT", "NODE_FAIL", "OUT_OF_MEMORY",
                        "PREEMPTED", "BOOT_FAIL", "DEADLINE"})
    if (state.rfind(s, 0) == 0) return true;
  return false;
}

// Polls squeue until no task of the job is left to run: every second for the first half minute,
// then a second less often each time, up to every 10 s.
Status waitForJob(const std::string& jobId) {
  int failures = 0;
  for (int poll = 0;; ++poll) {
    const int pause = std::clamp(poll - 29, 1, 10);
    std::string output;
    const int code = runShell("squeue --noheader --states=all --format=%T --jobs=" + jobId + " 2>&1", output);
    bool running = false;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) running |= !finishedState(trimmed(line));
    if (code == 0 && !running) return Status::success();
    if (code != 0 && output.find("Invalid job id") != std::string::npos) return Status::success();
    if (code != 0 && ++failures == 30) return Status::usage("squeue keeps failing: " + trimmed(output));
    for (int tick = 0; tick < pause * 10; ++tick) {
      if (const int signal = interruptSignal())
        return Status{128 + signal,
                      "stopped waiting; job " + jobId + " goes on (scancel " + jobId + " ends it)"};
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

// Why `frame` was not written by job `jobId`, or empty when it was.
std::string frameFailure(const FarmPlan& plan, const std::string& jobId, int frame) {
  std::ifstream log(frameLogPath(plan, frame));
  const std::string prefix = frameRecordPrefix(jobId, frame);
  std::string record;
  for (std::string line; std::getline(log, line);)
    if (line.rfind(prefix, 0) == 0) record = line.substr(prefix.size());
  if (record.empty()) return "did not finish (cancelled, out of time, or its node failed)";
  if (record != "0") return "failed with status " + record;
  if (!fs::exists(expandFramePattern(plan.output, frame))) return "not written";
  return "";
}

Status checkFrames(const FarmPlan& plan, const std::string& jobId) {
  std::string failed;
  int count = 0;
  for (int frame = plan.range.first; frame <= plan.range.last; ++frame) {
    const std::string why = frameFailure(plan, jobId, frame);
    if (why.empty()) continue;
    ++count;
    failed += "\n  frame " + std::to_string(frame) + ": " + why + "; log " + frameLogPath(plan, frame);
  }
  if (count == 0) return Status::success();
  return Status::nodeError("job " + jobId + ": " + std::to_string(count) + " of " +
                           std::to_string(plan.range.last - plan.range.first + 1) +
                           " frames not written:" + failed);
}

}  // namespace

int submitToSlurm(const RenderRequest& request) {
  FrameRange range;
  if (Status s = checkRequest(request, range); !s.ok()) return reportStatus(s);
  const FarmPlan plan = planFor(request, range);
  std::string jobId;
  if (Status s = submit(request, plan, jobId); !s.ok()) return reportStatus(s);
  std::printf("submitted Slurm job %s: frames %d to %d in %d task%s of up to %d frame%s\n", jobId.c_str(),
              range.first, range.last, plan.tasks(), plan.tasks() == 1 ? "" : "s", plan.chunk,
              plan.chunk == 1 ? "" : "s");
  std::printf("logs in %s, one a frame (%s)\n", plan.logFolder.c_str(),
              fs::path(frameLogPath(plan, range.first)).filename().c_str());
  std::printf("follow it with: squeue -j %s   cancel it with: scancel %s\n", jobId.c_str(), jobId.c_str());
  if (!request.farm.wait) return kExitOk;
  std::printf("waiting for job %s to end (Ctrl-C stops the waiting, not the job)\n", jobId.c_str());
  std::fflush(stdout);
  if (Status s = waitForJob(jobId); !s.ok()) return reportStatus(s);
  if (Status s = checkFrames(plan, jobId); !s.ok()) return reportStatus(s);
  std::printf("job %s: all %d frames written\n", jobId.c_str(), range.last - range.first + 1);
  return kExitOk;
}
