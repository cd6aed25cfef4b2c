// The process's resident set: its high-water mark and its size now.
#pragma once

// Bytes, from VmHWM in /proc/self/status (getrusage's ru_maxrss where that is absent).
double peakResidentBytes();
// Bytes, from VmRSS in /proc/self/status (0 where that is absent).
double residentBytes();
