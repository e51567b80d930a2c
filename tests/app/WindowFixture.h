// A main window in a program folder of its own, with scripted dialogs and a
// recording launcher.
#pragma once

#include "app/Launcher.h"
#include "app/Link.h"
#include "app/Main.h"
#include "common/FileWrite.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

class WindowTest : public ::testing::Test {
 protected:
  // Creates the window; `ini` is the settings file's content, or nullptr for none.
  TForm1& Start(const char* ini = "") {
    fileio::MakePath(app / "dll", nullptr);
    fileio::MakePath(app / "output", nullptr);
    if (ini) testing_support::WriteAll(app / "dll/Kinograf.ini", ini);
    std::string error;
    EXPECT_TRUE(fileio::CopyFile(testing_support::BuiltAppPath() + "dll/Web.dll", app / "dll/Web.dll", &error)) << error;
    form = std::make_unique<TForm1>(TForm1::Services{&dialogs, &launcher, app.Path()});
    return *form;
  }
  std::string Ini() const { return testing_support::ReadAll(app / "dll/Kinograf.ini"); }

  testing_support::TempFolder app;
  ScriptedDialogs dialogs;
  RecordingLauncher launcher;
  std::unique_ptr<TForm1> form;
};
