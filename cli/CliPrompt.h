#pragma once
// The command line's answers to the engine's questions: messages go to standard
// error, questions take the answer given on the command line (no terminal dialogue,
// so batch runs never hang).

#include <iostream>

#include "util/Prompt.h"

namespace cli {

class CliPrompt : public util::DefaultPrompt {
 public:
  util::PromptAnswer Ask(std::string_view caption, std::string_view text, util::PromptButtons buttons,
                         util::PromptIcon icon) override {
    std::cerr << caption << ": " << Flatten(text) << '\n';
    return util::DefaultPrompt::Ask(caption, text, buttons, icon);
  }
  void SecurityWarning() override {
    securityWarningShown = true;
    std::cerr << "Security Warning: Trellmond cannot access the selected drive due to security restrictions that "
                 "are active on this computer. Run trellmond-cli with the rights to read the device (for example as "
                 "root or a member of the disk group).\n";
  }
  bool securityWarningShown = false;

 private:
  static std::string Flatten(std::string_view text) {
    std::string out;
    for (char c : text) {
      if (c == '\r') continue;
      out.push_back(c == '\n' ? ' ' : c);
    }
    return out;
  }
};

}  // namespace cli
