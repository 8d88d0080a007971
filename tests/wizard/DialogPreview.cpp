// wizard_dialog_preview: shows one of the wizard's small dialogs on its own,
// as the program shows it, for screenshots of dialogs that only appear deep
// inside a run (the scanners' security warning, the size warning, help).
// Usage: wizard_dialog_preview security|size|help

#include "widgets/Pictures.h"
#include "widgets/frm_Help.h"
#include "widgets/frm_Security.h"
#include "widgets/frm_SizeWarning.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(widgets::ApplicationIcon());
  const char* which = argc > 1 ? argv[1] : "";
  if (std::strcmp(which, "security") == 0) {
    widgets::Tfrm_SecurityWarning dialog;
    return dialog.exec() == 0 ? 1 : 0;
  }
  if (std::strcmp(which, "size") == 0) {
    widgets::Tfrm_SizeWarning dialog;
    dialog.Number = 1284;
    dialog.Required = 3'412'000'000;
    dialog.Available = 1'020'000'000;
    dialog.MaxDrive.assign(1, 'F');
    dialog.MaxDriveFree = 1'020'000'000;
    dialog.exec();
    return 0;
  }
  if (std::strcmp(which, "help") == 0) {
    widgets::Tfrm_Help dialog;
    std::vector<std::string> lines;
    lines.emplace_back("Check that the card is firmly in the reader, or the camera is switched on and connected.");
    lines.emplace_back();
    lines.emplace_back("Card readers built into a computer sometimes need the card before the computer starts.");
    dialog.SetLines(lines);
    dialog.exec();
    return 0;
  }
  std::fprintf(stderr, "usage: wizard_dialog_preview security|size|help\n");
  return 2;
}
