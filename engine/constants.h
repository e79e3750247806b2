// The run's fixed limits, shared by the engine, the progress windows and the tests.
#pragma once
#include <cstdint>

const int kBlockSize = 2048;         // bytes of every read
const int kReadBlocks = 384;         // blocks of each sequential and each random read
const int kReadCycles = 3;
const int kProgressStep = 12;        // random reads per step of the read window's bar
const uint32_t kMinReadFileSize = 2097152;
const int kFewFilesWeight = 3000;    // subdirectories x 10 + files below this: few files
const int kMaxPasses = 2;
const int kMaxDrives = 32;
