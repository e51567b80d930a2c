// Dialogs that answer from a script and remember what they were asked.
#pragma once

#include "app/Dialogs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ScriptedDialogs : public Dialogs {
 public:
  // Answers, taken in order; an empty queue answers No / Cancel.
  std::deque<bool> confirmations;
  std::deque<std::optional<QString>> files;    // for OpenFile and SaveFile
  std::deque<std::optional<QString>> folders;  // for ChooseFolder
  std::deque<std::optional<VideoExportChoice>> exports;  // for ExportVideo
  std::vector<bool> soundOffers;  // what ExportVideo was offered
  std::vector<bool> colourOffers;

  // Everything shown, in order: messages and confirmation questions.
  std::vector<QString> shown;
  std::vector<QString> filters;  // filters of the file dialogs
  std::vector<QString> proposed;  // names proposed by SaveFile

  // Runs while a message is up, as a modal box would hold the window.
  std::function<void(const QString&)> whileShown;

  void Message(QWidget*, const QString& text) override {
    shown.push_back(text);
    if (whileShown) whileShown(text);
  }
  bool Confirm(QWidget*, const QString& text) override {
    shown.push_back(text);
    if (confirmations.empty()) return false;
    const bool answer = confirmations.front();
    confirmations.pop_front();
    return answer;
  }
  std::optional<QString> OpenFile(QWidget*, const QString& filter) override {
    filters.push_back(filter);
    return Next(files);
  }
  std::optional<QString> SaveFile(QWidget*, const QString& filter, const QString& name) override {
    filters.push_back(filter);
    proposed.push_back(name);
    return Next(files);
  }
  std::optional<QString> ChooseFolder(QWidget*, const QString& caption) override {
    shown.push_back(caption);
    return Next(folders);
  }
  std::optional<VideoExportChoice> ExportVideo(QWidget*, const QString& name, bool soundOffered,
                                               bool colourOffered) override {
    proposed.push_back(name);
    soundOffers.push_back(soundOffered);
    colourOffers.push_back(colourOffered);
    if (exports.empty()) return std::nullopt;
    const std::optional<VideoExportChoice> answer = exports.front();
    exports.pop_front();
    return answer;
  }

 private:
  static std::optional<QString> Next(std::deque<std::optional<QString>>& queue) {
    if (queue.empty()) return std::nullopt;
    const bool answered = queue.front().has_value();
    const QString answer = answered ? *queue.front() : QString();
    queue.pop_front();
    if (!answered) return std::nullopt;
    return answer;
  }
};
