// The host's worker threads: spawn(fn, n, user) runs fn(index, n, user) on n workers; wait(user)
// returns when all of them have.
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API Thread {
 public:
  typedef void (*ThreadFunction)(unsigned index, unsigned nThreads, void* userData);
  static bool spawn(ThreadFunction, unsigned nThreads, void* userData);
  static bool running(void* userData);
  static void wait(void* userData);
  // Processors the host computes with; the host may lower it.
  static unsigned numCPUs;
  static unsigned numThreads;
};

}  // namespace Image
}  // namespace DD
