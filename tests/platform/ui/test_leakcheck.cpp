// Leak checking of the window-layer tests, moved from process exit to the
// end of the test run: at exit the toolkit's helper threads start and stop
// while the checker suspends them, and the checker itself then fails.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace test_leakcheck_tests {

class TLeakCheckAtTheEnd : public ::testing::Environment {
 public:
  void TearDown() override {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
  }
};

const ::testing::Environment* const Registered = ::testing::AddGlobalTestEnvironment(new TLeakCheckAtTheEnd);

}  // namespace test_leakcheck_tests
