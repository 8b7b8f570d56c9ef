// Main of every test program. A simulated platform is installed before any
// test runs, so nothing a test does can reach the real machine's power or
// /sys through the default Linux platform.
#include <gtest/gtest.h>

#include "Sim/SimPlatform.h"

int main(int argc, char** argv) {
  InstallSimPlatform();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
