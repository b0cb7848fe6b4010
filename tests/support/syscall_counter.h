// Counts the system calls a thread makes. A seccomp filter, installed on the calling thread only
// and for good, turns every system call but exit and signal return into a SIGSYS whose handler
// counts it (while counting) and lets it fail with ENOSYS instead of running. So only a thread
// made for the measurement should call forbid_system_calls, and after it, it should do nothing
// but the work measured and return.
#pragma once

namespace test_support {

// False where the filter cannot be installed (no seccomp, or a sanitizer that makes calls of its own).
bool system_call_counting_available();
// Installs the filter on the calling thread; false when it could not.
bool forbid_system_calls();

class system_call_counting {
public:
    system_call_counting();
    ~system_call_counting();
    system_call_counting(const system_call_counting &) = delete;
    system_call_counting &operator=(const system_call_counting &) = delete;
    long calls() const;
    // The number of the first call counted, or -1.
    long first_call() const;
};

}  // namespace test_support
