// The toolbars' states as values. Handlers change a state and apply it; the
// buttons and status texts follow from the value alone, and every decision
// ("is a recording running?", "has the video been started?") is taken from
// the value, never read back from a widget.
#pragma once

#include <QString>

// The video half of the main toolbar: open, play, pause, record, stop and
// the Convert item.
struct VideoBar {
  enum class State {
    NoMovie,           // at start, and after a failed open with nothing loaded before
    Loaded,            // a movie just opened, stopped at its start
    Playing,
    Paused,
    Recording,
    RecordingPaused,   // a recording whose movie the text player's synchronized pause holds
    StoppedAfterPreview,
    StoppedAfterRecording,
  };
  // What the toolbar (and the text player's synchronized play) asks of the
  // video. Stop stands for the end of the movie too.
  enum class Command { Open, Play, Pause, Record, Stop };
  // Which items are enabled.
  struct Items {
    bool open = false, play = false, pause = false, rec = false, stop = false, convert = false;
    bool operator==(const Items&) const = default;
  };

  State state = State::NoMovie;
  // The video has been started and not stopped since (Stop is offered, also
  // through a pause; the text player's synchronized start reads it).
  bool running = false;
  // Convert is offered: frames are there to convert. Set by the transitions
  // (off while playing, on after a recording, "1.bmp" exists after a preview).
  bool convertPossible = false;

  // The bar after `command`. A recording stays a recording through Play and
  // Pause and ends as one at Stop, also when it was paused; a command the
  // state has no use for (Play without a movie, Rec while recording) changes
  // nothing. `framesThere`: "1.bmp" exists, which Stop after a preview
  // offers to convert.
  VideoBar After(Command command, bool framesThere = false) const {
    VideoBar next = *this;
    if (state == State::NoMovie && command != Command::Open) return next;
    const bool recording = Recording();
    switch (command) {
      case Command::Open:
        next.state = State::Loaded;
        next.running = false;
        break;
      case Command::Play:
        next.state = recording ? State::Recording : State::Playing;
        next.running = true;
        if (!recording) next.convertPossible = false;
        break;
      case Command::Pause:
        next.state = recording ? State::RecordingPaused : State::Paused;
        break;
      case Command::Record:
        if (recording) break;
        next.state = State::Recording;
        next.running = true;
        next.convertPossible = false;
        break;
      case Command::Stop:
        next.state = recording ? State::StoppedAfterRecording : State::StoppedAfterPreview;
        next.running = false;
        next.convertPossible = recording || framesThere;
        break;
    }
    return next;
  }

  Items Enabled() const {
    Items i;
    i.convert = convertPossible;
    switch (state) {
      case State::NoMovie:
        i.open = true;
        break;
      case State::Loaded:
      case State::StoppedAfterPreview:
      case State::StoppedAfterRecording:
        i.open = i.play = i.rec = true;
        break;
      case State::Playing:
        i.pause = i.rec = i.stop = true;
        break;
      case State::Paused:
        i.open = i.play = i.rec = true;
        i.stop = running;
        break;
      case State::Recording:
        i.stop = true;
        break;
      case State::RecordingPaused:
        i.play = i.stop = true;
        break;
    }
    return i;
  }
  // A recording runs, paused or not: from Rec to the Stop (or end) that finishes it.
  bool Recording() const { return state == State::Recording || state == State::RecordingPaused; }
  bool HasMovie() const { return state != State::NoMovie; }
  bool operator==(const VideoBar&) const = default;

  // Status panel 0 and panel 3 of the state.
  QString StateText() const;
  QString HintText() const;
};

// The text player's half of the toolbar.
struct TextBar {
  enum class State {
    Empty,        // nothing opened yet
    NotStandard,  // a file of fewer than three frames: browsed, not played
    Ready,        // a movie of three frames or more, just opened
    Playing,
    Paused,
    Stopped,
    Rewound,
  };
  struct Items {
    bool play = false, play2 = false, pause = false, stop = false, rw = false, notepad = false;
    bool operator==(const Items&) const = default;
  };

  State state = State::Empty;
  // Save is offered for a movie the conversion run has just written.
  bool saveOffered = false;

  // `videoKnown`: a video is loaded (Play2 needs it); `fileExists`: the
  // movie's file is still there (Notepad opens it).
  Items Enabled(bool videoKnown, bool fileExists) const {
    Items i;
    switch (state) {
      case State::Empty:
        break;
      case State::NotStandard:
        i.notepad = fileExists;
        break;
      case State::Ready:
      case State::Stopped:
      case State::Rewound:
        i.play = true;
        i.play2 = videoKnown;
        i.rw = state == State::Stopped;
        i.notepad = fileExists;
        break;
      case State::Playing:
        i.pause = i.stop = true;
        break;
      case State::Paused:
        i.play = true;
        i.play2 = videoKnown;
        i.stop = true;
        break;
    }
    return i;
  }
  // Playback has been started and not stopped (playing or paused).
  bool Started() const { return state == State::Playing || state == State::Paused; }
};
