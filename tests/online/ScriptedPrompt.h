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
  std::optional<std::string> Input(std::string_view, std::string_view, std::string_view value) override {
    return std::string(value);
  }
  void SecurityWarning() override {}
};

}  // namespace testsupport
