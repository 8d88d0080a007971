// The whole wizard end to end against the real service: a FAT32 card image
// with deleted photos, documents and a video is scanned, everything is ticked
// and saved through the Recovery panel into a folder attached as a drive;
// a save that spans a small drive and a second one; and the destinations the
// panel refuses, with nothing written.

#include "platform/DriveTable.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/wizard/WizardHarness.h"
#include "wizard/FolderTree.h"
#include "wizard/ResultTrees.h"

#include <QDate>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/mount.h>

#include <filesystem>
#include <map>
#include <set>

using testsupport::Control;
using testsupport::WizardHarness;
namespace fs = std::filesystem;

namespace {

std::string Sample(const std::string& name) {
  return testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE) / "tests" / "data" / "samples" / name);
}

// Deleted files on the card, by their path there.
std::map<std::string, std::string> MakeCard(const fs::path& image, int copies = 1) {
  testsupport::FatImage card(image, {.fatBits = 32, .label = "HOLIDAY"});
  std::map<std::string, std::string> files;
  card.MakeDir("/DCIM");
  card.MakeDir("/DCIM/100CANON");
  card.MakeDir("/Documents");
  card.MakeDir("/Videos");
  for (int i = 0; i < copies; ++i) {
    const std::string n = std::to_string(i + 1);
    files["/DCIM/100CANON/Beach " + n + ".jpg"] = Sample("sample.exif.jpg") + std::string(static_cast<std::size_t>(i), 'x');
    files["/Documents/Trip plan " + n + ".pdf"] = Sample("sample.pdf");
    files["/Documents/Packing list " + n + ".docx"] = Sample("sample.docx");
    files["/Videos/Waves " + n + ".avi"] = Sample("sample.avi");
  }
  for (const auto& [path, bytes] : files) card.AddFile(path, bytes);
  card.AddFile("/DCIM/100CANON/kept.jpg", Sample("sample.jpg"));
  for (const auto& [path, bytes] : files) card.Delete(path);
  return files;
}

// Registration -> Setup (E:) -> Analyse -> Recover >>: the window on the Recovery panel.
// `selectAll`: every file ticked, the Low Level Scan's copies of known files too.
std::unique_ptr<wizard::Tfrm_Main> ToRecoveryPanel(WizardHarness& h, bool lowLevelScan = true, bool selectAll = false) {
  auto window = testsupport::Analyse(h, 'E', [&](wizard::Tfrm_Main& w) {
    if (!lowLevelScan) Control<QCheckBox>(w, "cx_Low")->setChecked(false);
  });
  if (selectAll) {
    auto* all = Control<QCheckBox>(*window, "cx_SelectFiles");
    all->click();
    all->click();
  }
  Control<QPushButton>(*window, "pb_ToRecovery")->click();
  return window;
}

// Chooses a folder in the tree as a click would, then presses "Recover >>".
void RecoverTo(wizard::Tfrm_Main& window, const QString& path) {
  auto* tree = Control<wizard::TFolderTree>(window, "ShellTree");
  QVERIFY2(tree->SelectPath(path), qPrintable(path));
  emit tree->pathChosen();
  Control<QPushButton>(window, "pb_Feedback")->click();
}

std::vector<fs::path> FilesBelow(const fs::path& folder) {
  std::vector<fs::path> out;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) out.push_back(fs::relative(entry.path(), folder));
  }
  return out;
}

std::vector<std::string> LogMessages(WizardHarness& h, const std::string& id) {
  std::vector<std::string> out;
  for (const auto& row : h.Logs(id)) out.push_back(row[1]);
  return out;
}

platform::DriveEntry Drive(char letter, int type, std::string device, std::string root, std::string source,
                          std::string fsType, bool image) {
  platform::DriveEntry entry;
  entry.letter = letter;
  entry.type = type;
  entry.devicePath = std::move(device);
  entry.mountRoot = std::move(root);
  entry.mountSource = std::move(source);
  entry.fsType = std::move(fsType);
  entry.isImage = image;
  return entry;
}

bool Contains(const std::vector<std::string>& texts, const std::string& start) {
  return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(start, 0) == 0; });
}

}  // namespace

class RecoveryPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void wholeRoadRecoversEveryFileUnderItsFolders();
  void saveSummaryWritesAReportOnRequest();
  void saveSpansTwoDrivesWithoutLosingOrRepeatingAFile();
  void destinationStartsInANewFolderAmongTheUsersPlaces();
  void folderTreeKeepsStillAndNewFolderIsSelected();
  void refusedDestinationsWriteNothing_data();
  void refusedDestinationsWriteNothing();
};

void RecoveryPanelTest::wholeRoadRecoversEveryFileUnderItsFolders() {
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out";
  fs::create_directories(out);
  const auto files = MakeCard(h.dir / "card.img");
  const std::string before = testsupport::Sha256Of(h.dir / "card.img");
  h.SetDrives("E=" + (h.dir / "card.img").string() + ";F=" + out.string());
  auto window = ToRecoveryPanel(h);
  const std::string id = window->TransactionID();
  QVERIFY(!Control<QWidget>(*window, "pnl_Recovery")->isHidden());
  QCOMPARE(Control<QLabel>(*window, "lbl_ScannedDrive")->text(), QStringLiteral("E:"));
  const int selected = Control<QLabel>(*window, "lbl_RecoveryFound")->text().toInt();
  QVERIFY(selected >= static_cast<int>(files.size()));

  RecoverTo(*window, QStringLiteral("F:\\"));
  QCOMPARE(Control<QLineEdit>(*window, "df_OutputDirectory")->text(), QStringLiteral("F:\\"));
  QVERIFY(!Control<QWidget>(*window, "pnl_Feedback")->isHidden());
  QCOMPARE(Control<QLabel>(*window, "lbl_FilesSaved")->text().toInt(), selected);
  const auto boxes = h.BoxTexts();
  // The folder as the user's file manager names it.
  const std::string saved = " " + std::to_string(selected) + " files have been saved to folder: " + out.string();
  QVERIFY(std::any_of(boxes.begin(), boxes.end(), [&](const std::string& b) {
    return b == saved || b == saved + "/";
  }));
  // Every deleted file, byte for byte, under its own folders.
  for (const auto& [path, bytes] : files) {
    const fs::path saved = out / path.substr(1);
    QVERIFY2(fs::exists(saved), saved.c_str());
    QVERIFY2(testsupport::ReadFileBytes(saved) == bytes, saved.c_str());
  }
  QCOMPARE(testsupport::Sha256Of(h.dir / "card.img"), before);

  auto* open = Control<QCheckBox>(*window, "cx_OpenRecovered");
  QVERIFY(!open->isHidden() && open->isChecked());
  Control<QPushButton>(*window, "pb_SaveExit")->click();
  QCOMPARE(h.explored, std::vector<std::string>{"F:\\"});

  // The transaction from the version check to the end of the save, in order, and its four statistics.
  const auto logs = LogMessages(h, id);
  QVERIFY(!logs.empty());
  QVERIFY2(logs.front().rfind("Version", 0) == 0, logs.front().c_str());
  std::size_t at = 0;
  for (const std::string& start : std::vector<std::string>{"Drive Selected: ", "All Scans Complete. ", "In Recovery Screen", "df_OutputDirectory: ",
                                  "Beginning save to folder: F:\\<br>Required / Free : ",
                                  std::to_string(selected) + " files saved to folder: F:\\<br>in 0 minute(s) "}) {
    while (at < logs.size() && logs[at].rfind(start, 0) != 0) ++at;
    QVERIFY2(at < logs.size(), start.c_str());
  }
  const auto stats = h.Rows("SELECT scantype, cancelled FROM statistics WHERE trans = '" + id + "' ORDER BY id");
  QCOMPARE(stats, (std::vector<std::vector<std::string>>{{"F-Scan", "0"}, {"L-Scan", "0"}, {"F-Save", "0"}, {"L-Save", "0"}}));
}

void RecoveryPanelTest::saveSummaryWritesAReportOnRequest() {
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out";
  fs::create_directories(out);
  const auto files = MakeCard(h.dir / "card.img");
  h.SetDrives("E=" + (h.dir / "card.img").string() + ";F=" + out.string());
  h.prompt.answer = [](const testsupport::ScriptedPrompt::Box& box) {
    return box.buttons == util::PromptButtons::OkSaveReport ? util::PromptAnswer::SaveReport : util::PromptAnswer::Ok;
  };
  auto window = ToRecoveryPanel(h);
  std::vector<std::string> offered;
  const fs::path report = h.dir / "report.xml";
  window->ChooseReportFile = [&](const std::string& suggested) {
    offered.push_back(suggested);
    return report.string();
  };
  const int selected = Control<QLabel>(*window, "lbl_RecoveryFound")->text().toInt();
  RecoverTo(*window, QStringLiteral("F:\\"));
  QVERIFY(!Control<QWidget>(*window, "pnl_Feedback")->isHidden());
  QCOMPARE(offered, std::vector<std::string>{(out / "trellmond-report.xml").string()});
  const auto boxes = h.BoxTexts();
  QVERIFY(std::find(boxes.begin(), boxes.end(), "The report has been saved to: " + report.string()) != boxes.end());

  const auto valid =
      testsupport::RunCommand({"xmllint", "--noout", "--schema",
                               std::string(TRELLMOND_SOURCE) + "/tests/data/dfxml/dfxml.xsd", report.string()});
  QVERIFY2(valid.exitCode == 0, valid.errors.c_str());
  const std::string xml = testsupport::ReadFileBytes(report);
  const auto count = [&](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = xml.find(text); at != std::string::npos; at = xml.find(text, at + 1)) ++n;
    return n;
  };
  // Every file found is listed, the carved twins left unticked among them; only the ticked were saved.
  QVERIFY(count("<fileobject>") >= static_cast<std::size_t>(selected));
  QCOMPARE(count("<trellmond:saved>1</trellmond:saved>"), static_cast<std::size_t>(selected));
  QVERIFY(xml.find("<program>trellmond</program>") != std::string::npos);
  QVERIFY(xml.find("<image_filename>" + (h.dir / "card.img").string() + "</image_filename>") != std::string::npos);
  for (const auto& [path, bytes] : files) {
    QVERIFY2(xml.find("<filename>" + path.substr(1) + "</filename>") != std::string::npos, path.c_str());
    QVERIFY2(xml.find("<trellmond:saved_path>" + (out / path.substr(1)).string() + "</trellmond:saved_path>") !=
                 std::string::npos,
             path.c_str());
  }
}

void RecoveryPanelTest::saveSpansTwoDrivesWithoutLosingOrRepeatingAFile() {
  WizardHarness h;
  const fs::path small = h.dir / "small", large = h.dir / "large";
  fs::create_directories(small);
  fs::create_directories(large);
  // A 64 KiB drive: a few of the files fit, each taking at least one 4 KiB page.
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) QSKIP("no tmpfs mount here (needs root)");
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{small};
  h.StartService();
  const auto files = MakeCard(h.dir / "card.img", 6);
  h.SetDrives("E=" + (h.dir / "card.img").string() + ";F=" + small.string() + ";G=" + large.string());
  h.prompt.answer = [](const testsupport::ScriptedPrompt::Box& box) {
    return box.buttons == util::PromptButtons::YesNo ? util::PromptAnswer::Yes : util::PromptAnswer::Ok;
  };
  auto window = ToRecoveryPanel(h, true, true);
  const std::string id = window->TransactionID();
  const int selected = Control<QLabel>(*window, "lbl_RecoveryFound")->text().toInt();
  RecoverTo(*window, QStringLiteral("F:\\"));
  const auto boxes = h.BoxTexts();
  QVERIFY(std::any_of(boxes.begin(), boxes.end(),
                      [](const std::string& t) { return t.rfind("Warning: The output location does not have enough space", 0) == 0; }));
  QVERIFY(std::any_of(boxes.begin(), boxes.end(),
                      [](const std::string& t) { return t.rfind("Not all of your selected files were saved.", 0) == 0; }));
  // Retried: the panel stays for another destination.
  QVERIFY(!Control<QWidget>(*window, "pnl_Recovery")->isHidden());
  const auto first = FilesBelow(small);
  QVERIFY(!first.empty() && static_cast<int>(first.size()) < selected);
  RecoverTo(*window, QStringLiteral("G:\\"));
  QVERIFY(!Control<QWidget>(*window, "pnl_Feedback")->isHidden());
  const auto second = FilesBelow(large);
  QCOMPARE(static_cast<int>(first.size() + second.size()), selected);
  std::set<fs::path> both(first.begin(), first.end());
  for (const fs::path& p : second) QVERIFY2(both.insert(p).second, p.c_str());  // none written twice
  for (const auto& [path, bytes] : files) {
    const fs::path relative = path.substr(1);
    QVERIFY2(both.count(relative) == 1, relative.c_str());
    const fs::path saved = fs::exists(small / relative) ? small / relative : large / relative;
    QVERIFY2(testsupport::ReadFileBytes(saved) == bytes, saved.c_str());
  }
  const auto logs = LogMessages(h, id);
  QVERIFY(Contains(logs, "Not enough space warning.<br>Drive: F:  [Avail / Req]:"));
  QVERIFY(Contains(logs, std::to_string(first.size()) + " files saved to folder: F:\\"));
  QVERIFY(Contains(logs, std::to_string(second.size()) + " files saved to folder: G:\\"));
}

void RecoveryPanelTest::destinationStartsInANewFolderAmongTheUsersPlaces() {
  WizardHarness h;
  h.StartService();
  const fs::path home = h.dir / "home";
  for (const char* place : {"Pictures", "Documents", "Desktop"}) fs::create_directories(home / place);
  struct RestoreHome {
    std::string old;
    ~RestoreHome() { setenv("HOME", old.c_str(), 1); }
  } restore{std::getenv("HOME") != nullptr ? std::getenv("HOME") : ""};
  setenv("HOME", home.c_str(), 1);
  const fs::path out = h.dir / "out";
  fs::create_directories(out);
  const auto files = MakeCard(h.dir / "card.img");
  h.SetDrives("E=" + (h.dir / "card.img").string() + ";F=" + out.string());
  auto window = ToRecoveryPanel(h, false);
  auto* tree = Control<wizard::TFolderTree>(*window, "ShellTree");
  // The user's own places first, then the drives.
  QStringList roots;
  for (int row = 0; row < tree->model()->rowCount(); ++row) roots << tree->model()->index(row, 0).data().toString();
  QCOMPARE(roots.mid(0, 4), (QStringList{"Home", "Pictures", "Documents", "Desktop"}));
  QVERIFY2(roots.size() > 4 && roots.at(4).endsWith(QStringLiteral(":)")), qPrintable(roots.join(", ")));
  // A folder of its own in Pictures, made only when the files are saved.
  const std::string name = "Recovered files " + QDate::currentDate().toString(Qt::ISODate).toStdString();
  const fs::path folder = home / "Pictures" / name;
  auto* box = Control<QLineEdit>(*window, "df_OutputDirectory");
  QCOMPARE(platform::ToPosixPath(box->text().toStdString()).value_or(""), folder.string());
  QVERIFY(box->isReadOnly() && box->focusPolicy() == Qt::NoFocus);
  QVERIFY(!fs::exists(folder));
  const std::string chosen = box->text().toStdString();
  QCOMPARE(tree->SelectedPath().toStdString(), chosen.substr(0, chosen.size() - name.size() - 1));
  // The system's own folders are no place to save into.
  for (const char* system : {"proc", "sys", "dev", "run"}) {
    QVERIFY(tree->SelectPath(QStringLiteral("C:\\") + QLatin1String(system)));
    QCOMPARE(tree->SelectedPath(), QStringLiteral("C:\\"));
  }
  // "Refresh" reads the tree again and keeps the folder chosen.
  QVERIFY(tree->SelectPath(QString::fromStdString(chosen)));
  Control<QPushButton>(*window, "pb_ShellUpdate")->click();
  QCOMPARE(box->text().toStdString(), chosen);

  Control<QPushButton>(*window, "pb_Feedback")->click();
  QVERIFY(!Control<QWidget>(*window, "pnl_Feedback")->isHidden());
  for (const auto& [path, bytes] : files) QVERIFY2(fs::exists(folder / path.substr(1)), path.c_str());
  const std::string count = std::to_string(files.size());
  const auto boxes = h.BoxTexts();
  QVERIFY(std::find(boxes.begin(), boxes.end(), " " + count + " files have been saved to folder: " + folder.string()) !=
          boxes.end());
  QCOMPARE(Control<QLabel>(*window, "lbl_SavedTo")->text().toStdString(),
           count + " files saved to: " + folder.string());
  Control<QPushButton>(*window, "pb_OpenFolder")->click();
  QCOMPARE(h.explored, std::vector<std::string>{box->text().toStdString()});
  // The next recovery does not mix its files into this one's folder.
  window->State().Cancelled = true;
}

void RecoveryPanelTest::folderTreeKeepsStillAndNewFolderIsSelected() {
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out";
  fs::create_directories(out / "Old");
  MakeCard(h.dir / "card.img");
  h.SetDrives("E=" + (h.dir / "card.img").string() + ";F=" + out.string());
  auto window = ToRecoveryPanel(h, false);
  auto* tree = Control<wizard::TFolderTree>(*window, "ShellTree");
  // The scanned image has no folders to write into: it is not offered.
  QVERIFY(!tree->SelectPath(QStringLiteral("E:\\")));
  QVERIFY(tree->SelectPath(QStringLiteral("F:\\Old")));
  QCOMPARE(tree->SelectedPath(), QStringLiteral("F:\\Old"));
  // A folder made by another program waits for "Refresh": the rows keep still while the user browses.
  fs::create_directories(out / "Made elsewhere");
  QTest::qWait(300);
  tree->SelectPath(QStringLiteral("F:\\Made elsewhere"));
  QCOMPARE(tree->SelectedPath(), QStringLiteral("F:\\"));
  Control<QPushButton>(*window, "pb_ShellUpdate")->click();
  QVERIFY(tree->SelectPath(QStringLiteral("F:\\Made elsewhere")));
  QCOMPARE(tree->SelectedPath(), QStringLiteral("F:\\Made elsewhere"));

  // New Folder: inside the selected folder, which it then becomes; once; a name that would leave it is refused.
  QVERIFY(tree->SelectPath(QStringLiteral("F:\\Old")));
  emit tree->pathChosen();
  auto* newFolder = Control<QPushButton>(*window, "pb_NewFolder");
  auto* box = Control<QLineEdit>(*window, "df_OutputDirectory");
  h.prompt.inputs = {std::string("Trip photos")};
  newFolder->click();
  QVERIFY(fs::is_directory(out / "Old" / "Trip photos"));
  QCOMPARE(tree->SelectedPath(), QStringLiteral("F:\\Old\\Trip photos"));
  QCOMPARE(box->text(), QStringLiteral("F:\\Old\\Trip photos"));
  QVERIFY(tree->isExpanded(tree->currentIndex().parent()));
  QVERIFY(tree->SelectPath(QStringLiteral("F:\\Old")));
  emit tree->pathChosen();
  h.prompt.inputs = {std::string("Trip photos"), std::string("..\\..\\escape"), std::nullopt};
  for (int i = 0; i < 3; ++i) newFolder->click();
  QVERIFY(!fs::exists(h.dir / "escape") && !fs::exists(out / "escape"));
  const auto boxes = h.BoxTexts();
  QVERIFY(std::find(boxes.begin(), boxes.end(), "Folder already exists.") != boxes.end());
  QVERIFY(std::any_of(boxes.begin(), boxes.end(), [](const std::string& b) { return b.rfind("Please enter a folder name", 0) == 0; }));
  QCOMPARE(box->text(), QStringLiteral("F:\\Old"));
  // "<< Analysis" leads back to the ticks with the results still there.
  Control<QPushButton>(*window, "pb_AnalysisBack")->click();
  QVERIFY(!Control<QWidget>(*window, "pnl_Analysis")->isHidden());
  QVERIFY(window->Trees()->Store().FileCount() > 0);
  window->State().Cancelled = true;
}

void RecoveryPanelTest::refusedDestinationsWriteNothing_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("box");
  QTest::addColumn<QString>("log");
  QTest::newRow("the scanned drive") << "scanned" << "You cannot save to the same drive that was scanned (E:)"
                                     << "Selected Destination same as Source: E:<br>[Dest / Req]:";
  QTest::newRow("the scanned drive, lower case") << "scanned-lower" << "You cannot save to the same drive that was scanned (E:)"
                                                 << "Selected Destination same as Source: E:<br>[Dest / Req]:";
  QTest::newRow("a CD or DVD drive") << "cd" << "You have selected a CD or DVD drive." << "CD / DVD selected for save: H:\\";
  QTest::newRow("a network share") << "share" << "You cannot save directly to a network location."
                                   << "Selected network drive for recovery: \\\\nas\\photos";
  QTest::newRow("the network group") << "network" << "You cannot save to the chosen location."
                                     << "Selected non-drive letter for recovery: Network";
  QTest::newRow("a folder that cannot be written") << "readonly" << "Cannot write to: F:\\Locked\\."
                                                   << "Cannot write to folder: F:\\Locked<br>[Dest / Req]:";
  QTest::newRow("another card in the reader") << "swapped" << "The scanned disk seems to have been removed."
                                              << "Scanned Disk Removed.<br>Serial: 5eed5eed<br>Volume: OTHERCARD";
}

void RecoveryPanelTest::refusedDestinationsWriteNothing() {
  QFETCH(QString, kind);
  QFETCH(QString, box);
  QFETCH(QString, log);
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out", mounted = h.dir / "mounted", disc = h.dir / "disc", share = h.dir / "share";
  for (const fs::path& p : {out, mounted, disc, share}) fs::create_directories(p);
  fs::create_directories(out / "Locked");
  // A folder even root cannot write into: a read-only mount.
  const bool locked = ::mount("tmpfs", (out / "Locked").c_str(), "tmpfs", MS_RDONLY, "size=16k") == 0;
  if (kind == "readonly" && !locked) QSKIP("no read-only mount here (needs root)");
  MakeCard(h.dir / "card.img");
  const std::string card = (h.dir / "card.img").string();
  h.SetDrives("F=" + out.string());
  // The card is mounted as well, as a camera card in a reader usually is; H: a disc, S: a share.
  platform::DriveTable& table = platform::DriveTable::Instance();
  struct Cleanup {
    fs::path locked;
    bool mounted;
    ~Cleanup() {
      // The drive table outlives the test: the letters it was given go with it.
      for (const char letter : {'H', 'S'}) platform::DriveTable::Instance().Detach(letter);
      if (mounted) ::umount2(locked.c_str(), MNT_DETACH);
    }
  } cleanup{out / "Locked", locked};
  table.AttachAs('E', Drive('E', platform::kDriveRemovable, card, mounted.string(), "", "vfat", true));
  table.AttachAs('H', Drive('H', platform::kDriveCdRom, "", disc.string(), "", "iso9660", false));
  table.AttachAs('S', Drive('S', platform::kDriveRemote, "", share.string(), "//nas/photos", "cifs", false));
  // The mounted card's size is that of the folder standing in for its mount: the Undelete scan
  // alone keeps the run short.
  auto window = ToRecoveryPanel(h, false);
  const std::string id = window->TransactionID();
  const QString paths[][2] = {{"scanned", "E:\\"}, {"scanned-lower", "E:\\"}, {"cd", "H:\\"}, {"share", "\\\\nas\\photos"},
                              {"network", "Network"}, {"readonly", "F:\\Locked"}, {"swapped", "F:\\"}};
  QString path;
  for (const auto& p : paths) {
    if (p[0] == kind) path = p[1];
  }
  if (kind == "swapped") {
    testsupport::FatImage other(h.dir / "other.img", {.fatBits = 32, .label = "OTHERCARD", .volumeId = 0x5EED5EED});
    table.AttachAs('E', Drive('E', platform::kDriveRemovable, other.Path().string(), "", "", "", true));
  }
  auto* tree = Control<wizard::TFolderTree>(*window, "ShellTree");
  QVERIFY2(tree->SelectPath(path), qPrintable(path));
  emit tree->pathChosen();
  if (kind == "scanned-lower") Control<QLineEdit>(*window, "df_OutputDirectory")->setText(QStringLiteral("e:\\"));
  h.prompt.boxes.clear();
  Control<QPushButton>(*window, "pb_Feedback")->click();

  QVERIFY(!Control<QWidget>(*window, "pnl_Recovery")->isHidden());
  const auto boxes = h.BoxTexts();
  QVERIFY2(!boxes.empty() && QString::fromStdString(boxes.front()).startsWith(box), boxes.empty() ? "" : boxes.front().c_str());
  QVERIFY(Contains(LogMessages(h, id), log.toStdString()));
  for (const fs::path& p : {out, mounted, disc, share}) QVERIFY2(FilesBelow(p).empty(), p.c_str());
  QVERIFY(!Contains(LogMessages(h, id), "Beginning save to folder: "));
}

QTEST_MAIN(RecoveryPanelTest)
#include "RecoveryPanelTest.moc"
