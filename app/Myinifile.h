// The user's choices between runs: the main window's size and options, read
// from the settings file once at start and written back once at close.
#pragma once

#include <string>

class TForm1;

// Fills `form` from `fileName`; false, changing nothing, when the file does
// not exist. Restoring a selection does not run that control's change
// reaction; only the gray table's text updates its level display.
bool ReadSettings(TForm1& form, const std::string& fileName);

// Stores `form`'s state in `fileName`; false when the file does not exist
// (nothing written) or a value cannot be written: then *error holds
// "Unable to write to <file>" and the keys after it are not written.
bool WriteSettings(TForm1& form, const std::string& fileName, std::string* error);
