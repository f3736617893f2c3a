// Linked into the 32-bit test programs only: starts GoogleTest's helper thread before the first
// test, while nothing else happens.
//
// These programs run under 32-bit Wine on QEMU's user-mode emulation, where a process dies when
// one thread starts while another raises an exception (tests/wine/README.md shows a program of
// a dozen lines that does it). On Windows GoogleTest starts a thread that watches the test
// thread the first time a test skips or fails, and raises an exception (OutputDebugString)
// right after, to show the message to a debugger: the first skip killed the run. Making
// GoogleTest start that thread here, and giving it a moment, leaves nothing to race.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

class SettledThreads : public ::testing::Environment {
  public:
    void SetUp() override {
        ::testing::TestPartResultArray results;
        // Taking over the current thread's result reporter makes GoogleTest start its watcher.
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        Sleep(1000);
    }
};

const ::testing::Environment* const settled =
    ::testing::AddGlobalTestEnvironment(new SettledThreads);

}  // namespace
