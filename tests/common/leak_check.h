// Under LeakSanitizer, checks for leaks when the tests are done rather than at exit. At exit the
// GL driver's exit handler is stopping its worker threads (the shader cache's queue), and the
// leak checker's tracer, stopping every thread to scan it, must not meet a thread halfway out:
// that is when it crashed ("Tracer caught signal 11"). scripts/test.sh also runs these tests
// with no driver threads at all (no llvmpipe workers, no shader disk cache).
// Include it in every test program that makes a GL context.
#pragma once

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

namespace korvalin::test {

struct LeakCheckWhenDone : ::testing::Environment {
  void TearDown() override { __lsan_do_leak_check(); }
};

inline ::testing::Environment* const kLeakCheckWhenDone = ::testing::AddGlobalTestEnvironment(new LeakCheckWhenDone);

}  // namespace korvalin::test
#endif
