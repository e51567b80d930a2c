// Toolbar and button pictures, drawn at run time so they look the same on
// every desktop and need no image files.
#pragma once

#include <QIcon>
#include <QString>

namespace icons {

enum class Kind {
  Open, Play, Play2, Pause, Record, Stop, Convert, Save, OpenText, Rewind, FontColor, FontSize, Notepad,
  Window, Help, About, Exit, Folder, Store, HomePage, GuestBook, Email,
};

QIcon Make(Kind kind);

}  // namespace icons
