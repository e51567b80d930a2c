// SIGTERM and SIGHUP (the desktop session ending, a kill) close the window
// the way its close box does, but without a question: the handler only
// wakes the user-interface thread, which then stops the running work and
// closes. A running conversion is asked to stop at its next frame
// (fileio::RequestInterrupt) so the close does not wait for its end.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class CloseSignals : public QObject {
  Q_OBJECT

 public:
  // Catches SIGTERM and SIGHUP from now on and calls `onSignal` on the
  // thread that made the object when one has arrived (signals that arrive
  // together are told once). One object at a time.
  explicit CloseSignals(std::function<void()> onSignal, QObject* parent = nullptr);
  // Puts the default handlers back.
  ~CloseSignals() override;

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};
