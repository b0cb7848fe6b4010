// Counts the heap allocations the calling thread makes while an allocation_counting lives.
#pragma once

namespace test_support {

class allocation_counting {
public:
    allocation_counting();
    ~allocation_counting();
    allocation_counting(const allocation_counting &) = delete;
    allocation_counting &operator=(const allocation_counting &) = delete;
    long allocations() const;
};

}  // namespace test_support
