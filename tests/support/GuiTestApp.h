// One application object for a GUI test process, made before the first test and destroyed
// after the last, while Qt's own globals still exist.
#pragma once

#include "app/UfrmApplication.h"

#include <gtest/gtest.h>

namespace testing_support {

class TGuiAppEnvironment : public ::testing::Environment {
public:
  void SetUp() override { FApp = new TApplication(FArgc, FArgv); }
  void TearDown() override {
    delete FApp;
    FApp = nullptr;
  }

private:
  int FArgc = 1;
  char FName[16] = "orlenway-test";
  char* FArgv[2] = {FName, nullptr};
  TApplication* FApp = nullptr;
};

inline ::testing::Environment* const GuiAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiAppEnvironment);

} // namespace testing_support
