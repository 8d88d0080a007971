// "Make an image first...": a careful copy of a failing drive into an image file on
// another drive, so the scans read the copy and the medium is read as little as possible.

#include "wizard/Main.h"

#include "disk/RescueCopy.h"
#include "disk/RescueImage.h"
#include "drives/ZubDrvListBox.h"
#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/RescueSource.h"
#include "platform/Volume.h"
#include "util/SizeText.h"
#include "util/Text.h"
#include "widgets/frm_Loading.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace wizard {
namespace {

// The drive letter a POSIX path lies on, 0 when it is on none.
char LetterOfPath(const std::string& path) {
  const auto windows = platform::ToWindowsPath(std::filesystem::path(path).parent_path().string());
  return windows && !windows->empty() ? util::UpperCase(windows->substr(0, 1))[0] : 0;
}

std::string SuggestedName(char letter, const std::string& label) {
  std::string name = label.empty() ? std::string("drive-") + letter : label;
  for (char& c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) c = '_';
  }
  return name + ".img";
}

}  // namespace

void Tfrm_Main::pb_MakeImageClick() {
  const int row = Drives->currentRow();
  if (row < 0) return;
  const char letter = drives::LetterOfItemText(Drives->ItemText(row));
  Raw_General.SetDriveLetter(std::string(1, letter));
  if (!ChooseImagePlace) {
    ChooseImagePlace = [this](const std::string& suggested) {
      const QString folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
      return QFileDialog::getSaveFileName(this, QStringLiteral("Make an image of the drive"),
                                          folder + QStringLiteral("/") + QString::fromStdString(suggested),
                                          QStringLiteral("Disk images (*.img);;All files (*)"))
          .toStdString();
    };
  }
  const std::string path = ChooseImagePlace(SuggestedName(letter, Raw_General.GetVolumeName()));
  if (path.empty()) return;
  const auto drive = platform::DriveTable::Instance().Find(letter);
  if (!drive || drive->devicePath.empty()) return;
  const std::uint64_t bytes = drive->length != 0 ? drive->length
                                                 : static_cast<std::uint64_t>(std::max<std::int64_t>(
                                                       0, platform::GetDiskSize(platform::DriveNumberOf(letter))));
  if (!CheckImagePlace(letter, path, bytes)) return;
  if (CopyIntoImage(letter, path)) AttachAndSelect(path);
}

bool Tfrm_Main::CheckImagePlace(char letter, const std::string& path, std::uint64_t bytes) {
  const char target = LetterOfPath(path);
  if (target == 0 || target == letter) {
    m_prompt->Ask("Trellmond",
                  "Please choose a place on another drive for the image.\r\n\r\nAn image of drive " +
                      std::string(1, letter) + ": cannot be written onto the same drive.",
                  util::PromptButtons::Ok, util::PromptIcon::Warning);
    return false;
  }
  // What an earlier, stopped copy already wrote there counts as room.
  std::error_code ec;
  const auto existing = std::filesystem::is_regular_file(path, ec) ? std::filesystem::file_size(path, ec) : 0;
  const std::int64_t free = platform::GetDiskFree(platform::DriveNumberOf(target));
  if (free >= 0 && static_cast<std::uint64_t>(free) + (ec ? 0 : existing) < bytes) {
    online::AddLog(m_state.TransactionID,
                   "Image Not Made: not enough space on " + std::string(1, target) + ": for " + std::to_string(bytes) +
                       " bytes",
                   online::action::kNotEnoughSpace, m_http);
    m_prompt->Ask("Trellmond",
                  "There is not enough free space on drive " + std::string(1, target) + ": for the image.\r\n\r\n" +
                      "The image needs " + util::GetSizeDescription(static_cast<std::int64_t>(bytes)) +
                      ", the drive has " + util::GetSizeDescription(free) + " free.",
                  util::PromptButtons::Ok, util::PromptIcon::Warning);
    return false;
  }
  return true;
}

bool Tfrm_Main::CopyIntoImage(char letter, const std::string& path) {
  const auto drive = platform::DriveTable::Instance().Find(letter);
  auto source = drive ? platform::RescueSource::Open(drive->devicePath, drive->offset, drive->length) : nullptr;
  std::string error;
  const auto image = source ? disk::TRescueImage::Prepare(*source, path, path + ".map", error) : nullptr;
  if (!source) error = "cannot open drive " + std::string(1, letter) + ": " + std::strerror(errno);
  if (!image) {
    m_prompt->Ask("Trellmond", "The image could not be made:\r\n" + error, util::PromptButtons::Ok,
                  util::PromptIcon::Warning);
    return false;
  }
  online::AddLog(m_state.TransactionID,
                 "Making Image: " + std::string(1, letter) + ": into " + path + (image->Resuming() ? " (going on)" : ""),
                 online::action::kSaveBegin, m_http);

  std::atomic<bool> stop{false};
  disk::RescueResult result;
  disk::RescueProgress last;
  widgets::Tfrm_Loading loading(this);
  loading.setObjectName(QStringLiteral("frm_MakeImage"));
  loading.SetMessage(QStringLiteral("Making an image of drive %1:...").arg(QChar(letter)));
  loading.ShowProgress([&stop] { stop = true; });
  loading.SetStep([&] {
    disk::RescueOptions options;
    options.timeout = platform::Volume::ReadTimeout();
    const std::uint64_t before = image->Map().BytesWith('+');
    QElapsedTimer clock, shown;
    clock.start();
    const disk::RescueTarget target{image->ImageFd(), path + ".map", {"Mapfile. Created by Trellmond"}};
    const auto show = [&](const disk::RescueProgress& now) {
      const int percent = now.size > 0 ? static_cast<int>(now.settled * 100 / now.size) : 100;
      const std::uint64_t readNow = now.rescued > before ? now.rescued - before : 0;
      loading.SetProgress(percent, QString::fromStdString(disk::RescueProgressText(
                                       now, readNow, static_cast<double>(clock.elapsed()) / 1000.0)));
    };
    result = disk::RunRescue(*source, image->Map(), target, options, stop, [&](const disk::RescueProgress& now) {
      last = now;
      if (shown.isValid() && shown.elapsed() < 100) return;
      shown.start();
      show(now);
      // The window stays painted and "Stop" is heard while the copy runs on this thread.
      QCoreApplication::processEvents();
    });
    last.rescued = image->Map().BytesWith('+');
    last.settled = last.rescued + image->Map().BytesWith('-');
    last.badAreas = image->Map().BadAreas();
    show(last);
  });
  loading.exec();

  const util::RescueMap& map = image->Map();
  const std::string summary = std::to_string(map.BytesWith('+')) + " of " + std::to_string(map.Size()) +
                              " bytes copied, " + std::to_string(map.BadAreas()) + " bad areas";
  online::AddLog(m_state.TransactionID, "Image of " + std::string(1, letter) + ": " + summary,
                 result.end == disk::RescueEnd::kDone ? online::action::kSaveProgress : online::action::kSaveError,
                 m_http);
  if (result.end == disk::RescueEnd::kWriteFailed) {
    m_prompt->Ask("Trellmond", "The image could not be written:\r\n" + result.error, util::PromptButtons::Ok,
                  util::PromptIcon::Error);
    return false;
  }
  if (result.end == disk::RescueEnd::kStopped) {
    m_prompt->Ask("Trellmond",
                  "The copy was stopped: " + summary +
                      ".\r\n\r\nChoose the same place again and the copy goes on where it stopped.",
                  util::PromptButtons::Ok, util::PromptIcon::Information);
    return false;
  }
  return true;
}

void Tfrm_Main::OfferImageAfterReadErrors() {
  const std::int64_t sectors = Session.Unreadable().Sectors();
  const auto drive = platform::DriveTable::Instance().Find(ScannedMedia.Drive);
  if (sectors <= 0 || !drive || drive->isImage) return;
  const std::string letter(1, ScannedMedia.Drive);
  lbl_Summary->setText(lbl_Summary->text() +
                       QString::fromStdString(", " + std::to_string(sectors) + " sectors could not be read"));
  const auto answer = m_prompt->Ask(
      "Trellmond",
      std::to_string(sectors) + " sectors of drive " + letter +
          ": could not be read.\r\n\r\nThe drive may be failing, and every pass over it can lose more. "
          "Trellmond can copy it once, carefully, into an image on another drive and scan the copy.\r\n\r\n"
          "Would you like to make an image first?",
      util::PromptButtons::YesNo, util::PromptIcon::Question);
  if (answer != util::PromptAnswer::Yes) return;
  pb_SetupBackClick();
  pb_MakeImageClick();
}

}  // namespace wizard
