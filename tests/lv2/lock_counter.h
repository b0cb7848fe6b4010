// Counts the locks the calling thread takes while a lock_counting lives.
#pragma once

namespace test_support {

class lock_counting {
public:
    lock_counting();
    ~lock_counting();
    lock_counting(const lock_counting &) = delete;
    lock_counting &operator=(const lock_counting &) = delete;
    long locks() const;
};

// False where the sanitizer owns the lock functions and this counter must stay out of its way.
bool lock_counting_available();

}  // namespace test_support
