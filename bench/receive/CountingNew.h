// Counts the program's allocations: the global operator new is replaced in CountingNew.cpp.
#pragma once

#include <cstdint>

namespace bench {
std::uint64_t AllocationCount() noexcept;
} // namespace bench
