// The file-type dialog's selection lists, fed by the real service with a
// catalogue of this test's own.

#include "filetypes/frm_FileTypes.h"
#include "online/HttpClient.h"
#include "tests/service/ServiceProcess.h"
#include "tests/support/TempDir.h"

#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <filesystem>

namespace {

// A service whose low-level overview is the given lines.
struct OverviewService {
  explicit OverviewService(const std::string& lines) {
    const std::filesystem::path source = std::filesystem::path(TRELLMOND_SOURCE) / "service" / "data";
    std::filesystem::copy(source, dir / "data", std::filesystem::copy_options::recursive);
    for (const char* name : {"overview-low.txt", "overview-undelete.txt"}) {
      testsupport::WriteFileBytes(dir / "data" / "catalogue" / name, lines);
    }
    service = std::make_unique<testsupport::ServiceProcess>((dir / "s.sqlite").string(),
                                                            std::vector<std::string>{"--data", (dir / "data").string()});
    service->Start();
    http.SetServiceURL(service->BaseURL() + "/php/");
  }
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::ServiceProcess> service;
  online::THttpClient http;
};

QStringList Items(filetypes::Tfrm_FileTypeSelection& dialog, int category, bool tickedOnly = false) {
  QStringList items;
  QListWidget* list = dialog.CategoryList(category);
  for (int row = 0; row < list->count(); ++row) {
    if (!tickedOnly || list->item(row)->checkState() == Qt::Checked) items << list->item(row)->text();
  }
  return items;
}

const char* kOverview =
    "jpg;JPEG Image;1;0;k1\ngif;GIF Image;0;0;GIF\navi;AVI Video;1;1;RIFF\nmp3;MP3 Audio;0;1;MP3\n"
    "pdf;PDF Document;1;2;PDF\nxyz;Odd;1;7;X\nabc;Not a number;1;x;A\n";

}  // namespace

class FileTypeSelectionTest : public QObject {
  Q_OBJECT

 private slots:
  void overviewFillsListsAndSelection_data();
  void overviewFillsListsAndSelection();
  void restoringIsCaseSensitiveAndAddsOnly();
};

void FileTypeSelectionTest::overviewFillsListsAndSelection_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<bool>("noDefaults");
  QTest::addColumn<bool>("fastOrAll");
  QTest::addColumn<std::vector<std::string>>("selection");
  QTest::newRow("low defaults") << 1 << false << false
                                << std::vector<std::string>{"0", "1", "", "jpg;0;k1", "avi;1;RIFF", "pdf;2;PDF"};
  QTest::newRow("low without defaults") << 1 << true << false << std::vector<std::string>{"0", "1", ""};
  QTest::newRow("undelete never ticks defaults") << 2 << false << false << std::vector<std::string>{"0", "1", ""};
  QTest::newRow("fast scan") << 1 << false << true
                             << std::vector<std::string>{"1", "1", "", "jpg;0", "avi;1", "jpeg;0"};
  QTest::newRow("all types") << 2 << false << true << std::vector<std::string>{"1", "1", ""};
}

void FileTypeSelectionTest::overviewFillsListsAndSelection() {
  QFETCH(int, type);
  QFETCH(bool, noDefaults);
  QFETCH(bool, fastOrAll);
  QFETCH(std::vector<std::string>, selection);
  OverviewService service(kOverview);
  filetypes::Tfrm_FileTypeSelection dialog;
  dialog.HTTP = &service.http;
  dialog.SetSelectionType(static_cast<std::uint8_t>(type));
  dialog.PopulateFileTypeData(noDefaults, "1.0");
  QCOMPARE(Items(dialog, 0), (QStringList{"gif;GIF Image;GIF", "jpg;JPEG Image;k1"}));  // sorted
  QCOMPARE(Items(dialog, 1), (QStringList{"avi;AVI Video;RIFF", "mp3;MP3 Audio;MP3"}));
  QCOMPARE(Items(dialog, 2), (QStringList{"pdf;PDF Document;PDF"}));  // categories 7 and "x" dropped
  dialog.findChild<QRadioButton*>(fastOrAll ? QStringLiteral("rb_Other") : QStringLiteral("rb_FindSelected"))
      ->setChecked(true);
  QCOMPARE(dialog.CategoryList(0)->isEnabled(), !fastOrAll);
  std::vector<std::string> list;
  QVERIFY(dialog.GetSelectedFileTypes(&list));
  QCOMPARE(list, selection);
}

void FileTypeSelectionTest::restoringIsCaseSensitiveAndAddsOnly() {
  OverviewService service(kOverview);
  filetypes::Tfrm_FileTypeSelection dialog;
  dialog.HTTP = &service.http;
  dialog.SetSelectionType(2);
  dialog.PopulateFileTypeData(true, "1.0");
  dialog.CategoryList(1)->item(1)->setCheckState(Qt::Checked);  // mp3, ticked before the restore
  const std::vector<std::string> stored = {"0", "0", "ppt vsd", "JPG;0;x", "gif;0;GIF", "pdf;1;PDF", "avi;257;R"};
  dialog.SetSelectedFileTypes(&stored);
  QCOMPARE(Items(dialog, 0, true), QStringList{"gif;GIF Image;GIF"});
  // The category is one byte: 257 is the media list.
  QCOMPARE(Items(dialog, 1, true), (QStringList{"avi;AVI Video;RIFF", "mp3;MP3 Audio;MP3"}));
  QVERIFY(Items(dialog, 2, true).isEmpty());  // pdf named under the wrong category
  std::vector<std::string> list;
  dialog.GetSelectedFileTypes(&list);
  QCOMPARE(list, (std::vector<std::string>{"0", "0", "ppt vsd", "gif;0;GIF", "avi;1;RIFF", "mp3;1;MP3"}));
}

QTEST_MAIN(FileTypeSelectionTest)
#include "FileTypeSelectionTest.moc"
