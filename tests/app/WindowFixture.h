// A main window in a program folder of its own, with scripted dialogs and a
// recording launcher.
#pragma once

#include "app/Main.h"
#include "common/FileWrite.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"
#include "support/TestVideo.h"
#include "support/WindowParts.h"
#include "shell/Launcher.h"
#include "shell/Link.h"

#include <QAction>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// Enabled states of the video bar: Open Play Pause Rec Stop Convert.
inline std::string VideoItems(const TForm1& f) {
  std::string s;
  for (QAction* a : {Parts(f).TBIOpen, Parts(f).TBIPlay, Parts(f).TBIPause, Parts(f).TBISnapBegin, Parts(f).TBIStop, Parts(f).TBIConvert})
    s += a->isEnabled() ? '1' : '0';
  return s;
}

// Enabled states of the text bar: Play Play2 Pause Stop Rw Notepad.
inline std::string TextItems(const TForm1& f) {
  std::string s;
  for (QAction* a : {Parts(f).TBIPlayText, Parts(f).TBIPlayText2, Parts(f).TBIPauseText, Parts(f).TBIStopText, Parts(f).TBIRwText, Parts(f).TBINotepad})
    s += a->isEnabled() ? '1' : '0';
  return s;
}

class WindowTest : public ::testing::Test {
 protected:
  // Creates the window; `ini` is the settings file's content, or nullptr for
  // none; `with` answers its dialogs instead of `dialogs`.
  TForm1& Start(const char* ini = "", Dialogs* with = nullptr) {
    fileio::MakePath(app / "dll", nullptr);
    fileio::MakePath(app / "output", nullptr);
    if (ini) testing_support::WriteAll(app / "dll/Kinograf.ini", ini);
    std::string error;
    EXPECT_TRUE(fileio::CopyFile(testing_support::BuiltAppPath() + "dll/Web.dll", app / "dll/Web.dll", &error)) << error;
    form = std::make_unique<TForm1>(TForm1::Services{with ? with : &dialogs, &launcher, app.Path()});
    return *form;
  }
  std::string Ini() const { return testing_support::ReadAll(app / "dll/Kinograf.ini"); }

  // An .avi clip of `frames` frames, 25 a second, in the program folder.
  std::string Clip(const std::string& name, int frames = 25) {
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".avi");
    clipSpec.frameCount = frames;
    std::string error;
    EXPECT_TRUE(testing_support::WriteTestVideo(app / name, clipSpec, &error)) << error;
    return app / name;
  }
  // A character movie of `frames` frames of 4 x 2 cells, interval 50 ms.
  std::string Movie(const std::string& name, int frames) {
    std::string text;
    for (int i = 0; i < frames; ++i) {
      char info[32];
      std::snprintf(info, sizeof info, "W004V0050F%05d\r\n", i);
      text += "aabbccdd\r\nddccbbaa\r\n\x80\x80\r\n" + std::string(info);
    }
    testing_support::WriteAll(app / name, text);
    return app / name;
  }
  // Opens `path` through the Open command, the dialog answering with it.
  void OpenVideo(const std::string& path) {
    dialogs.files.push_back(QString::fromStdString(path));
    form->TBIOpenClick();
  }

  testing_support::TempFolder app;
  ScriptedDialogs dialogs;
  RecordingLauncher launcher;
  std::unique_ptr<TForm1> form;
};
