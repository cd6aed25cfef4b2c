// The outcome of a step of the renderer: success, or an exit status with one line to print.
#pragma once

#include <string>

enum ExitCode { kExitOk = 0, kExitNodeError = 1, kExitUsage = 2 };

struct Status {
  int code = kExitOk;
  std::string message;

  bool ok() const { return code == kExitOk; }
  static Status success() { return Status(); }
  // A problem with the command line or an input or output file.
  static Status usage(std::string message) { return Status{kExitUsage, std::move(message)}; }
  // An error the node itself reported.
  static Status nodeError(std::string message) { return Status{kExitNodeError, std::move(message)}; }
};
