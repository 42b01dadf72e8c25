// Every test process runs in a private world: HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR,
// XDG_DATA_HOME and TMPDIR all point into a fresh folder, so no test touches the user's
// files, their trash or a running program's lock; whatever it starts is ended with it.
#include "support/TestProcesses.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleMock(&argc, argv);
  testing_support::PrivateRoot();
  testing_support::GuardTestProcesses();
  return RUN_ALL_TESTS();
}
