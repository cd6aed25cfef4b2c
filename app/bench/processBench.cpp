#include "bench/processBench.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "bench/process.h"
#include "files/imageWriter.h"
#include "scenes/flatScenes.h"

namespace fs = std::filesystem;

namespace {

struct ProcessFigures {
  double seconds = std::numeric_limits<double>::infinity();
  double peakBytes = 0;
};

// Runs this program with `args`, its output discarded, and keeps the fastest run and its peak.
Status timeProcess(const std::vector<std::string>& args, ProcessFigures& figures) {
  std::vector<char*> argv{const_cast<char*>("orvel")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return Status::usage("cannot start a child process");
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1), ::dup2(null, 2);
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return Status::usage("lost the child process");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return Status::usage("orvel " + args.front() + " failed in the bench (status " + std::to_string(status) +
                         ")");
  if (seconds < figures.seconds) figures = ProcessFigures{seconds, double(usage.ru_maxrss) * 1024.0};
  return Status::success();
}

// A folder of its own under the system's temporary folder, removed on destruction.
struct Scratch {
  fs::path folder = fs::temp_directory_path() / ("orvel-bench-" + std::to_string(::getpid()));
  Scratch() { fs::create_directories(folder); }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

}  // namespace

Status benchWholeProcess(int width, int height, const KnobValues& knobs, unsigned threads, int runs,
                         double engineSeconds, double engineFirstSeconds) {
  const Scratch scratch;
  const std::string input = (scratch.folder / "frame.exr").string();
  const Status written = runInChild([&] {
    std::vector<std::string> warnings;
    return writeImage(*makeBenchScene(width, height), ChannelNames(), input, WriteOptions(), warnings).ok()
               ? 0
               : 1;
  });
  if (!written.ok()) return Status::usage("cannot write the bench frame to " + input);
  std::vector<std::string> render{"render", input, "-o", (scratch.folder / "out.exr").string(), "--quiet"};
  for (const auto& [name, value] : knobs) render.insert(render.end(), {"--set", name + "=" + value});
  if (threads) render.insert(render.end(), {"--threads", std::to_string(threads)});
  ProcessFigures whole, startUp;
  for (int i = 0; i < runs; ++i)
    if (Status s = timeProcess(render, whole); !s.ok()) return s;
  for (int i = 0; i < 5; ++i)
    if (Status s = timeProcess({"knobs"}, startUp); !s.ok()) return s;
  std::error_code ec;
  const double outputBytes = double(fs::file_size(scratch.folder / "out.exr", ec));
  std::printf(
      "%-26s whole `orvel render` (EXR in, zip EXR out of %.1f MB) %.3f s, peak %.0f MB; fast engine alone"
      " %.3f s; whole / engine %.2f\n",
      "", outputBytes / (1024.0 * 1024.0), whole.seconds, whole.peakBytes / (1024.0 * 1024.0), engineSeconds,
      whole.seconds / engineSeconds);
  std::printf("%-26s the engine's first render (the node's preparation with it) %.3f s; whole / first render %.2f\n",
              "", engineFirstSeconds, whole.seconds / engineFirstSeconds);
  std::printf("%-26s start-up (`orvel knobs`, fastest of 5) %.3f s\n", "", startUp.seconds);
  return Status::success();
}
