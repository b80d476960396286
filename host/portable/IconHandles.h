// The portable backend's icon handles, for tests that look for leaks.
#pragma once

#include <cstddef>

namespace host::portable {

// Icon handles made and not yet destroyed.
std::size_t LiveIconCount();

}  // namespace host::portable
