#pragma once
// A prompt for tests: records every box and answers through a script.

#include "util/Prompt.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class ScriptedPrompt : public util::IPrompt {
 public:
  struct Box {
    std::string text;
    util::PromptButtons buttons;
  };
  std::function<util::PromptAnswer(const Box&)> answer = [](const Box&) { return util::PromptAnswer::Ok; };
  std::vector<Box> boxes;

  util::PromptAnswer Ask(std::string_view, std::string_view text, util::PromptButtons buttons,
                         util::PromptIcon) override {
    boxes.push_back({std::string(text), buttons});
    return answer(boxes.back());
  }
  // Answers of the input boxes in turn; when none is left, the default (as OK would).
  std::vector<std::optional<std::string>> inputs;
  std::optional<std::string> Input(std::string_view, std::string_view, std::string_view value) override {
    if (inputs.empty()) return std::string(value);
    std::optional<std::string> next = inputs.front();
    inputs.erase(inputs.begin());
    return next;
  }
  void SecurityWarning() override {}
};

}  // namespace testsupport
