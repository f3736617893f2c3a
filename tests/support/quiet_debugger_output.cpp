// Linked into the 32-bit test programs only: GoogleTest's console output without its copy to a
// debugger.
//
// These programs run under 32-bit Wine on QEMU's user-mode emulation, where a process that has
// a second thread dies as soon as a Windows exception is raised in it (tests/wine/README.md
// shows a program of a dozen lines that does it). On Windows GoogleTest starts a thread that
// watches the test thread the first time a test skips or fails, then hands the message to a
// debugger with OutputDebugString, which raises an exception: the first skip killed the run.
// So the default printer stays, but the results of test parts are printed here, the same way
// on the console and without OutputDebugString.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class QuietPrinter : public ::testing::TestEventListener {
  public:
    explicit QuietPrinter(::testing::TestEventListener* printer) : printer_(printer) {}
    ~QuietPrinter() override { delete printer_; }

    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.type() == ::testing::TestPartResult::kSuccess) return;
        const char* kind = result.type() == ::testing::TestPartResult::kSkip ? "Skipped"
                           : result.failed()                                 ? "Failure"
                                                                             : "Success";
        if (result.file_name()) {
            std::printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind,
                        result.message());
        } else {
            std::printf("unknown file: %s\n%s\n", kind, result.message());
        }
        std::fflush(stdout);
    }

    void OnTestProgramStart(const ::testing::UnitTest& unit) override {
        printer_->OnTestProgramStart(unit);
    }
    void OnTestIterationStart(const ::testing::UnitTest& unit, int iteration) override {
        printer_->OnTestIterationStart(unit, iteration);
    }
    void OnEnvironmentsSetUpStart(const ::testing::UnitTest& unit) override {
        printer_->OnEnvironmentsSetUpStart(unit);
    }
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& unit) override {
        printer_->OnEnvironmentsSetUpEnd(unit);
    }
    void OnTestSuiteStart(const ::testing::TestSuite& suite) override {
        printer_->OnTestSuiteStart(suite);
    }
    void OnTestStart(const ::testing::TestInfo& info) override { printer_->OnTestStart(info); }
    void OnTestEnd(const ::testing::TestInfo& info) override { printer_->OnTestEnd(info); }
    void OnTestSuiteEnd(const ::testing::TestSuite& suite) override {
        printer_->OnTestSuiteEnd(suite);
    }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest& unit) override {
        printer_->OnEnvironmentsTearDownStart(unit);
    }
    void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& unit) override {
        printer_->OnEnvironmentsTearDownEnd(unit);
    }
    void OnTestIterationEnd(const ::testing::UnitTest& unit, int iteration) override {
        printer_->OnTestIterationEnd(unit, iteration);
    }
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override {
        printer_->OnTestProgramEnd(unit);
    }

  private:
    ::testing::TestEventListener* printer_;
};

// Swaps the printer before main() runs the tests.
const bool swapped = [] {
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new QuietPrinter(listeners.Release(listeners.default_result_printer())));
    return true;
}();

}  // namespace
