// Property checks for the fuzz targets: a broken property aborts, so libFuzzer
// keeps the input that broke it as a crash artifact.
#ifndef DBRUNNER_FUZZ_FUZZ_CHECK_H_
#define DBRUNNER_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

namespace dbrunner::fuzz {

[[noreturn]] inline void PropertyBroken(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
  std::abort();
}

}  // namespace dbrunner::fuzz

// Not assert(): the targets are built with NDEBUG, and the checks must stay.
#define FUZZ_CHECK(condition)         \
  ((condition) ? static_cast<void>(0) \
               : ::dbrunner::fuzz::PropertyBroken(#condition, __FILE__, __LINE__))

#endif  // DBRUNNER_FUZZ_FUZZ_CHECK_H_
