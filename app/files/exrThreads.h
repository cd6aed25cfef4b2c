// The threads the EXR library decodes and compresses chunks on: a job's render threads.
#pragma once

// Sizes the EXR library's thread pool; 0 means one thread per processor.
void setExrThreads(unsigned threads);
