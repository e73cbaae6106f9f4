// The main of the XML library's test programs. They run twice: as they are, and with
// --portable-scanning, which turns the library's SSE2 paths off before any test runs, so that the
// portable code beside each meets every test too.
#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

#include "Compiler.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);  // takes the --gtest_* arguments out
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) != "--portable-scanning") {
      std::fprintf(stderr, "unknown argument %s (only --portable-scanning and GoogleTest's)\n",
                   argv[i]);
      return 2;
    }
    kestrelwing::detail::wideScanning = false;
  }
  if (!GTEST_FLAG_GET(list_tests)) {  // the list a test runner reads stays as GoogleTest writes it
    std::printf("Scanning paths: %s\n",
                kestrelwing::detail::WideScanning() ? "SSE2 where built in" : "portable");
  }
  return RUN_ALL_TESTS();
}
