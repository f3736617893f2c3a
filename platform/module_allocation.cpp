// The module's heap allocations off Windows. Its library is linked with --wrap=malloc and
// --wrap=calloc, so every block it takes comes through here, where a test can make one fail: the
// module must survive an allocation failure at any point, above all at load.
#include <cstdlib>

#include "platform/standin.h"
#include "platform/standin_core.h"

namespace {
long allocations_until_failure = 0;  // 0: no failure planned

bool this_one_fails() {
    if (allocations_until_failure <= 0) return false;
    return --allocations_until_failure == 0;
}
}  // namespace

CUEBOX_PLATFORM_API void standin_fail_allocation(long nth) {
    allocations_until_failure = nth > 0 ? nth : 0;
}

extern "C" __attribute__((visibility("default"))) void* __wrap_malloc(size_t size) {
    return this_one_fails() ? nullptr : std::malloc(size);
}

extern "C" __attribute__((visibility("default"))) void* __wrap_calloc(size_t count, size_t size) {
    return this_one_fails() ? nullptr : std::calloc(count, size);
}
