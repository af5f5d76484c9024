// One QApplication for a whole test program, on the offscreen platform.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <memory>

#include "temp_files.h"

class QtApplicationEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's runtime folder is the test's own: without one it makes
    // /tmp/runtime-USER and leaves it there.
    std::filesystem::permissions(runtime_.Path(""), std::filesystem::perms::owner_all);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime_.Path("")));
    static int argc = 1;
    static char name[] = "flash89";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  TempFolder runtime_;
  std::unique_ptr<QApplication> application_;
};
