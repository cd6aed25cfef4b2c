#include "render/progressBar.h"

#include <unistd.h>

#include <algorithm>

namespace {

std::string seconds(double s) {
  char buffer[32];
  if (s < 60.0)
    std::snprintf(buffer, sizeof buffer, "%.1fs", s);
  else
    std::snprintf(buffer, sizeof buffer, "%dm%02ds", int(s) / 60, int(s) % 60);
  return buffer;
}

}  // namespace

std::string progressText(int done, int total, double elapsed, int barWidth) {
  const double fraction = total > 0 ? std::clamp(double(done) / total, 0.0, 1.0) : 1.0;
  const int filled = int(fraction * barWidth);
  std::string line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, " %3d%%  %d/%d rows  %s elapsed", int(fraction * 100.0), done, total,
                seconds(elapsed).c_str());
  line += buffer;
  if (done > 0 && done < total) line += "  " + seconds(elapsed * (total - done) / done) + " left";
  return line;
}

ProgressBar::ProgressBar(std::FILE* out, bool enabled, std::string label)
    : out_(out), enabled_(enabled), label_(std::move(label)), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(int done, int total) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && done < total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  std::fprintf(out_, "\r\033[K%s%s", label_.empty() ? "" : (label_ + " ").c_str(),
               progressText(done, total, elapsed).c_str());
  std::fflush(out_);
}

void ProgressBar::finish() {
  if (!drawn_) return;
  std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
  drawn_ = false;
}

bool isTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }
