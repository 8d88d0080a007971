// The wizard's start arguments and the exception filter's log text.

#include "wizard/CommandLine.h"
#include "wizard/ExceptionFilter.h"

#include <QTest>

#include <algorithm>

namespace {

std::vector<std::string> Lines(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back("frame " + std::to_string(i));
  return lines;
}

}  // namespace

class StartArgumentsTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLineNeedsExactlyTheAccessCode_data();
  void commandLineNeedsExactlyTheAccessCode();
  void exceptionLogTextKeepsTwentyOneLines();
};

void StartArgumentsTest::commandLineNeedsExactlyTheAccessCode_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<bool>("replaced");
  QTest::newRow("none") << QStringList{} << false;
  QTest::newRow("one") << QStringList{"http://10.0.0.5:8642"} << false;
  QTest::newRow("case differs") << QStringList{"http://10.0.0.5:8642", "hv4ktq"} << false;
  QTest::newRow("three") << QStringList{"http://10.0.0.5:8642", "Hv4kTq", "x"} << false;
  QTest::newRow("exact") << QStringList{"http://10.0.0.5:8642", "Hv4kTq"} << true;
}

void StartArgumentsTest::commandLineNeedsExactlyTheAccessCode() {
  QFETCH(QStringList, arguments);
  QFETCH(bool, replaced);
  std::vector<std::string> args;
  for (const QString& a : arguments) args.push_back(a.toStdString());
  const wizard::StartAddress start = wizard::ParseCommandLine(args);
  QCOMPARE(start.replaced, replaced);
  QCOMPARE(start.baseURL, replaced ? std::string("http://10.0.0.5:8642") : std::string("http://127.0.0.1:8642"));
}

void StartArgumentsTest::exceptionLogTextKeepsTwentyOneLines() {
  const std::string five = wizard::ExceptionLogText("Access violation\r\nat 0x1", Lines(5));
  QCOMPARE(five, std::string("Access violation<BR>at 0x1<BR><BR>frame 0<BR>frame 1<BR>frame 2<BR>frame 3<BR>frame 4"));
  const std::string thirty = wizard::ExceptionLogText("boom", Lines(30));
  QVERIFY(thirty.ends_with("<BR>frame 20"));
  QCOMPARE(std::count(thirty.begin(), thirty.end(), '<'), std::ptrdiff_t{22});
}

QTEST_MAIN(StartArgumentsTest)
#include "StartArgumentsTest.moc"
