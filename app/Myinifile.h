// The user's choices between runs: the main window's size and options, read
// from the settings file once at start and written back once at close.
#pragma once

#include "shell/WindowSettings.h"

#include <QString>

#include <string>

class TForm1;

// Fills `form` from `fileName`; false, changing nothing, when the file does
// not exist. Restoring a selection does not run that control's change
// reaction, except that the capture interval is set to the frame rate
// shown; the gray table's text updates its level display.
bool ReadSettings(TForm1& form, const std::string& fileName);

// Stores `form`'s state in `fileName`; false when the file does not exist
// (nothing written) or a value cannot be written: then *error holds
// "Unable to write to <file>" and the keys after it are not written. A gray
// table GBK cannot hold is not written (the one read at start is): then
// *refusedCharacter (when given) gets its first such character.
bool WriteSettings(TForm1& form, const std::string& fileName, std::string* error,
                   QString* refusedCharacter = nullptr);

// The settings into the window's controls, and the controls' values.
void ShowSettings(TForm1& form, const WindowSettings& settings);
WindowSettings SettingsOfWindow(const TForm1& form, QString* refusedCharacter);
