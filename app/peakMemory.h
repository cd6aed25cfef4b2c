// The process's resident-set high-water mark.
#pragma once

// Bytes, from VmHWM in /proc/self/status (getrusage's ru_maxrss where that is absent).
double peakResidentBytes();
