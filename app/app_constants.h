#pragma once
#include <cstddef>

// Paths and names are kept in buffers of this size.
constexpr size_t kPathSize = 260;
