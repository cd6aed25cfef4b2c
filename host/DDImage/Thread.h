// The host's worker threads: spawn N workers with indices 0 .. N-1, wait for all of them.
#pragma once

namespace DD {
namespace Image {
namespace Thread {

// Processors of this machine; the host may lower it.
extern unsigned numCPUs;

// Starts `count` workers running fn(index, count, user) and returns at once.
void spawn(void (*fn)(unsigned index, unsigned count, void* user), int count, void* user);
// Returns when every worker spawned with `user` has finished.
void wait(void* user);

}  // namespace Thread
}  // namespace Image
}  // namespace DD
