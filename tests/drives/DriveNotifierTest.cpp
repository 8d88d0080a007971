// The change notifier's event rules and the drive comparison behind its events.

#include "drives/SHChangeNotify.h"
#include "platform/DeviceWatch.h"

#include <QTest>

#include <stdexcept>

namespace {

struct Reported {
  std::uint32_t code;
  std::string path;
  bool operator==(const Reported&) const = default;
};

}  // namespace

class DriveNotifierTest : public QObject {
  Q_OBJECT

 private slots:
  void maskFollowsAssignedHandlers();
  void repeatedNotificationIsReportedOnce();
  void executeReplacesAndStops();
  void drivesComparedToEvents();
};

void DriveNotifierTest::maskFollowsAssignedHandlers() {
  QObject owner;
  drives::TSHChangeNotify notifier(&owner);
  QCOMPARE(notifier.EventMask(), 0u);
  auto handler = [](QObject*, std::uint32_t, const std::string&) {};
  notifier.OnDriveAdd = notifier.OnDriveRemoved = notifier.OnMediaInserted = notifier.OnMediaRemoved = handler;
  QCOMPARE(notifier.EventMask(), 0x1E0u);
  QVERIFY_THROWS_EXCEPTION(std::invalid_argument, notifier.SetMessageNo(1023));
  QCOMPARE(notifier.MessageNo(), 1024);
}

void DriveNotifierTest::repeatedNotificationIsReportedOnce() {
  QObject owner;
  drives::TSHChangeNotify notifier(&owner);
  std::vector<Reported> seen;
  notifier.OnMediaInserted = [&](QObject*, std::uint32_t code, const std::string& p) { seen.push_back({code, p}); };
  notifier.OnMediaRemoved = notifier.OnMediaInserted;
  notifier.Deliver(0x20, "F:\\");
  notifier.Deliver(0x20, "F:\\");
  notifier.Deliver(0x20, "f:\\");  // the same drive in other case
  notifier.Deliver(0x40, "F:\\");
  notifier.Deliver(0x20, "F:\\");
  notifier.Deliver(0x20 | 0x40, "G:\\");  // a combination has no handler
  notifier.TextCase = drives::TTextCase::tcLowercase;
  notifier.Deliver(0x40, "G:\\");
  QCOMPARE(seen, (std::vector<Reported>{{0x20, "F:\\"}, {0x40, "F:\\"}, {0x20, "F:\\"}, {0x40, "g:\\"}}));
}

void DriveNotifierTest::executeReplacesAndStops() {
  QObject owner;
  drives::TSHChangeNotify notifier(&owner);
  notifier.Execute();  // no handler: nothing registered, nothing thrown
  QVERIFY(!notifier.Registered());
  notifier.OnDriveAdd = [](QObject*, std::uint32_t, const std::string&) {};
  notifier.Execute();
  notifier.Execute();
  QVERIFY(notifier.Registered());
  notifier.Stop();
  QVERIFY(!notifier.Registered());
  bool asked = false;
  notifier.Execute();
  notifier.OnEndSessionQuery = [&](QObject*, bool& canEnd) {
    asked = true;
    canEnd = false;
  };
  QVERIFY(!notifier.QueryEndSession());
  QVERIFY(asked && notifier.Registered());
}

void DriveNotifierTest::drivesComparedToEvents() {
  using platform::DriveState;
  const std::vector<DriveState> before = {{'C', 3, true}, {'E', 2, true}, {'F', 2, false}, {'G', 2, true}};
  const std::vector<DriveState> after = {{'C', 3, true}, {'F', 2, true}, {'G', 5, true}, {'H', 2, true}};
  const std::vector<platform::DriveChange> expected = {{platform::kShcneDriveRemoved, "E:\\"},
                                                       {platform::kShcneMediaInserted, "F:\\"},
                                                       {platform::kShcneDriveRemoved, "G:\\"},
                                                       {platform::kShcneDriveAdd, "G:\\"},
                                                       {platform::kShcneDriveAdd, "H:\\"}};
  QCOMPARE(platform::CompareDrives(before, after), expected);
  QVERIFY(platform::CompareDrives(after, after).empty());
}

QTEST_MAIN(DriveNotifierTest)
#include "DriveNotifierTest.moc"
