// What Linux tells about a running process: its memory and the CPU time it has used.
#pragma once

#include <sys/types.h>

struct ProcessStats {
    long peakResidentKb = 0;  // VmHWM
    long residentKb = 0;      // VmRSS
    double cpuSeconds = 0;    // user + system
};

// Reads /proc/<pid>/status and /proc/<pid>/stat; zeros when the process is gone.
ProcessStats processStats(pid_t pid);
