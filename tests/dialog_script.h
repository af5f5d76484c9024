// The file dialog's answers and the error boxes, scripted by a test: one
// script for the toolkit-free view and both windows.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct DialogScript {
  std::string Ask(const std::string& presetName) {
    presets.push_back(presetName);
    if (onAsk) onAsk();
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowError(const std::string& caption, const std::string& text) {
    errorCaptions.push_back(caption);
    errors.push_back(text);
  }

  std::deque<std::string> answers;  // an empty answer is a cancelled dialog
  std::function<void()> onAsk;
  std::vector<std::string> presets;
  std::vector<std::string> errorCaptions;
  std::vector<std::string> errors;
};
