// "Make an image first..." on the Setup panel against the real service: a card copied
// into an image on another drive in the loading dialog, with its progress and Stop,
// then attached and selected; and a scan of a failing disk (a loop device whose sectors
// fail) ending with the count of unreadable sectors and the offer to image it first.

#include "drives/ZubDrvListBox.h"
#include "platform/DriveTable.h"
#include "platform/ReadFaults.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/wizard/WizardHarness.h"
#include "util/RescueMap.h"
#include "util/Text.h"
#include "widgets/frm_Loading.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

#include <filesystem>

using testsupport::Control;
using testsupport::WizardHarness;

namespace {

// The letter of the drive selected in the Setup panel's list.
char SelectedLetter(wizard::Tfrm_Main& window) {
  auto* list = Control<drives::TZubDrvListBox>(window, "Drives");
  return drives::LetterOfItemText(list->ItemText(list->currentRow()));
}

// A loop device over `image`, detached when the object goes.
class LoopDevice {
 public:
  explicit LoopDevice(const std::filesystem::path& image) {
    if (geteuid() != 0) return;
    const auto result = testsupport::RunCommand({"losetup", "-f", "--show", image.string()});
    if (result.exitCode == 0) m_path = util::Trim(result.output);
  }
  ~LoopDevice() {
    if (!m_path.empty()) testsupport::RunCommand({"losetup", "-d", m_path});
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace

class MakeImageTest : public QObject {
  Q_OBJECT

 private slots:
  void copiesTheCardWithProgressStopAndGoingOn();
  void refusesAPlaceWithoutRoom();
  void scanOfAFailingDiskOffersAnImageFirst();
  void cleanup() { platform::ReadFaults::Clear(); }
};

void MakeImageTest::copiesTheCardWithProgressStopAndGoingOn() {
  WizardHarness h;
  h.StartService();
  testsupport::FatImage card(h.dir / "card.img", {.fatBits = 16, .sizeKiB = 24 * 1024, .label = "HOLIDAY"});
  card.AddFile("/beach.txt", std::string(300000, 'b'));
  std::filesystem::create_directories(h.dir / "out");
  h.SetDrives("E=" + card.Path().string() + ";F=" + (h.dir / "out").string());
  auto window = h.Start();
  Control<QPushButton>(*window, "pb_Setup")->click();
  QVERIFY(!Control<QPushButton>(*window, "pb_MakeImage")->isEnabled());
  QVERIFY(testsupport::SelectDrive(*window, 'E'));
  QVERIFY(Control<QPushButton>(*window, "pb_MakeImage")->isEnabled());

  const auto image = h.dir / "out" / "card-copy.img";
  std::string suggested;
  window->ChooseImagePlace = [&](const std::string& name) {
    suggested = name;
    return image.string();
  };
  // The first copy is stopped once its progress shows; the second goes to the end.
  std::vector<int> shown;
  int copies = 0;
  h.driver.actions[QStringLiteral("frm_MakeImage")] = [&](QDialog& dialog) {
    auto& loading = static_cast<widgets::Tfrm_Loading&>(dialog);
    const bool stopIt = copies++ == 0;
    QVERIFY(loading.StopButton()->isVisible());
    QObject::connect(loading.ProgressBar(), &QProgressBar::valueChanged, &dialog, [&shown, &loading, stopIt](int v) {
      shown.push_back(v);
      QVERIFY(loading.ProgressHint()->text().startsWith(QStringLiteral("Image ")));
      if (stopIt) loading.StopButton()->click();
    });
  };
  Control<QPushButton>(*window, "pb_MakeImage")->click();
  QCOMPARE(suggested, std::string("HOLIDAY.img"));
  QVERIFY(!shown.empty());
  QVERIFY(!h.BoxTexts().empty());
  QVERIFY(h.BoxTexts().back().find("The copy was stopped") != std::string::npos);
  QCOMPARE(SelectedLetter(*window), 'E');  // nothing attached yet

  Control<QPushButton>(*window, "pb_MakeImage")->click();
  QCOMPARE(copies, 2);
  QVERIFY(shown.back() >= 99);
  QVERIFY(testsupport::ReadFileBytes(image) == testsupport::ReadFileBytes(card.Path()));
  std::string error;
  const auto map = util::RescueMap::Parse(testsupport::ReadFileBytes(image.string() + ".map"),
                                          std::filesystem::file_size(card.Path()), error);
  QVERIFY2(map.has_value(), error.c_str());
  QCOMPARE(map->BytesWith('+'), map->Size());
  // The image is the next free letter, selected, and the scans may start on it.
  const char letter = SelectedLetter(*window);
  QVERIFY(letter != 'E' && letter != 'F');
  QCOMPARE(platform::DriveTable::Instance().Find(letter)->devicePath, image.string());
  QVERIFY(Control<QPushButton>(*window, "pb_Analyse")->isEnabled());
  window->State().Cancelled = true;
}

void MakeImageTest::refusesAPlaceWithoutRoom() {
  WizardHarness h;
  h.StartService();
  std::filesystem::create_directories(h.dir / "out");
  // A disk far larger than any free space here (a sparse file, nothing written).
  testsupport::RunOrThrow({"truncate", "-s", "15T", (h.dir / "huge.img").string()});
  h.SetDrives("E=" + (h.dir / "huge.img").string() + ";F=" + (h.dir / "out").string());
  auto window = h.Start();
  Control<QPushButton>(*window, "pb_Setup")->click();
  // A folder drive has no sectors to copy.
  QVERIFY(testsupport::SelectDrive(*window, 'F'));
  QVERIFY(!Control<QPushButton>(*window, "pb_MakeImage")->isEnabled());
  QVERIFY(testsupport::SelectDrive(*window, 'E'));
  window->ChooseImagePlace = [&](const std::string&) { return (h.dir / "out" / "huge-copy.img").string(); };
  const std::size_t boxes = h.BoxTexts().size();
  Control<QPushButton>(*window, "pb_MakeImage")->click();
  QCOMPARE(h.BoxTexts().size(), boxes + 1);
  QVERIFY(h.BoxTexts().back().find("There is not enough free space on drive F: for the image.") != std::string::npos);
  QVERIFY(!std::filesystem::exists(h.dir / "out" / "huge-copy.img"));
  window->State().Cancelled = true;
}

void MakeImageTest::scanOfAFailingDiskOffersAnImageFirst() {
  WizardHarness h;
  testsupport::FatImage card(h.dir / "disk.img", {.fatBits = 16, .label = "OLDDISK"});
  card.AddFile("/notes.txt", std::string(5000, 'n'));
  LoopDevice loop(card.Path());
  if (loop.Path().empty()) QSKIP("a failing disk needs a loop device (root and losetup)");
  // The first copy of the FAT fails, as a dying disk's sectors do.
  QVERIFY(platform::ReadFaults::Fail(loop.Path(), 4 * 512, 6 * 512));
  h.StartService();
  std::filesystem::create_directories(h.dir / "out");
  h.SetDrives("E=" + loop.Path() + ";F=" + (h.dir / "out").string());
  const auto image = h.dir / "out" / "disk.img";
  h.prompt.answer = [](const testsupport::ScriptedPrompt::Box& box) {
    return box.text.find("make an image first") != std::string::npos ? util::PromptAnswer::Yes
                                                                      : util::PromptAnswer::Ok;
  };
  bool placeAsked = false;
  auto window = testsupport::Analyse(h, 'E', [&](wizard::Tfrm_Main& w) {
    w.ChooseImagePlace = [&](const std::string&) {
      placeAsked = true;
      return image.string();
    };
  });
  const auto boxes = h.BoxTexts();
  const auto offer = std::find_if(boxes.begin(), boxes.end(), [](const std::string& text) {
    return text.find("sectors of drive E: could not be read") != std::string::npos;
  });
  QVERIFY(offer != boxes.end());
  QVERIFY(Control<QLabel>(*window, "lbl_Summary")->text().contains(QStringLiteral("sectors could not be read")));
  // Yes: back on the Setup panel, the image made, attached and selected.
  QVERIFY(placeAsked);
  std::string error;
  const auto map = util::RescueMap::Parse(testsupport::ReadFileBytes(image.string() + ".map"),
                                          std::filesystem::file_size(card.Path()), error);
  QVERIFY2(map.has_value(), error.c_str());
  const auto bad = map->AreasWith('-');
  QCOMPARE(bad.size(), std::size_t{1});
  QCOMPARE(bad[0].pos, std::uint64_t{4 * 512});
  QCOMPARE(bad[0].size, std::uint64_t{2 * 512});
  const char letter = SelectedLetter(*window);
  QCOMPARE(platform::DriveTable::Instance().Find(letter)->devicePath, image.string());
  window->State().Cancelled = true;
}

QTEST_MAIN(MakeImageTest)
#include "MakeImageTest.moc"
