// "Save a report" in the save summary: a DFXML report of every file the scans found, where it
// lies on the scanned drive and where its saved copy went, with the copies' hashes.

#include <QApplication>

#include "platform/DriveTable.h"
#include "report/Dfxml.h"
#include "wizard/Main.h"

namespace wizard {

void Tfrm_Main::SaveReport() {
  const auto folder = platform::ToPosixPath(m_state.OutputFolder);
  const std::string suggested = folder.value_or(std::string{}) + "/trellmond-report.xml";
  const std::string path = ChooseReportFile ? ChooseReportFile(suggested) : std::string();
  if (path.empty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::vector<report::FileEntry> files = report::UndeleteEntries(FATScan);
  std::vector<report::FileEntry> carved = report::CarvedEntries(LowScan, m_state.OutputFolder);
  files.insert(files.end(), std::make_move_iterator(carved.begin()), std::make_move_iterator(carved.end()));
  const std::string source = report::SourcePath(ScannedMedia.Drive);
  std::string why;
  std::string commandLine = "trellmond";
  for (const std::string& argument : m_arguments) (commandLine += ' ') += argument;
  const bool written = report::WriteDfxml(path, {"trellmond", commandLine, source}, files, why);
  QApplication::restoreOverrideCursor();
  if (written) {
    m_prompt->Ask("Trellmond", "The report has been saved to: " + path, util::PromptButtons::Ok,
                  util::PromptIcon::Information);
  } else {
    m_prompt->Ask("Trellmond", "The report could not be saved to: " + path + "\r\n" + why, util::PromptButtons::Ok,
                  util::PromptIcon::Error);
  }
}

}  // namespace wizard
