// A progress bar on the terminal: rows done, elapsed and remaining time, redrawn in place.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// One line of progress: "[####......]  40%  216/540 rows  1.2s elapsed  1.8s left".
std::string progressText(int done, int total, double elapsedSeconds, int barWidth = 30);

class ProgressBar {
 public:
  // Draws on `out` only when `enabled` (a terminal, and not --quiet); `label` leads the line.
  ProgressBar(std::FILE* out, bool enabled, std::string label);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Called as rows finish; redraws at most ten times a second, and at the last row.
  void update(int done, int total);
  // Clears the line.
  void finish();

 private:
  std::FILE* out_;
  bool enabled_;
  bool drawn_ = false;
  std::string label_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

// True when `stream` is a terminal.
bool isTerminal(std::FILE* stream);
