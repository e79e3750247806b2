// TestResults: the measured times of one pass on one drive.
#pragma once
#include "constants.h"
#include <windows.h>
#include <string>

enum : uint32_t { RESULT_WALK_DONE = 1 };

// A volume label in fixed storage: the report reads it on the user-interface
// thread while a run's worker may be writing it, so it must never reallocate.
struct FixedLabel {
    char text[MAX_PATH + 1] = "";
    FixedLabel& operator=(const std::string& label)
    {
        lstrcpynA(text, label.c_str(), sizeof text);
        return *this;
    }
    operator std::string() const { return text; }
};

struct TestResults {
    FixedLabel volumeLabel;
    uint32_t flags = 0;
    float walkSeconds = 0;
    float readSeconds[kReadCycles][2] = {};  // [cycle][0 sequential, 1 random]
    float totalSeconds = 0;
};
