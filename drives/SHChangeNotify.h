#pragma once
// TSHChangeNotify: turns device events into the shell's change events with
// drive paths ("E:\"). Owned by the window whose thread receives them. Execute
// starts watching for the events that have handlers, Stop ends it; events are
// delivered on the GUI thread, one at a time, without repeating the last one.

#include "platform/DeviceWatch.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace drives {

enum class TTextCase { tcAsIs, tcUppercase, tcLowercase };

using TOneParmEvent = std::function<void(QObject* sender, std::uint32_t flags, const std::string& path1)>;
using TTwoParmEvent =
    std::function<void(QObject* sender, std::uint32_t flags, const std::string& path1, const std::string& path2)>;
using TEndSessionQueryEvent = std::function<void(QObject* sender, bool& canEndSession)>;

class TSHChangeNotify : public QObject {
  Q_OBJECT
 public:
  explicit TSHChangeNotify(QObject* owner);
  ~TSHChangeNotify() override;

  int MessageNo() const { return m_messageNo; }
  // Values below 1024 are refused with std::invalid_argument.
  void SetMessageNo(int value);
  TTextCase TextCase = TTextCase::tcAsIs;
  bool HardDriveOnly = true;
  TEndSessionQueryEvent OnEndSessionQuery;

  TTwoParmEvent OnRenameItem, OnRenameFolder, OnAssocChanged;
  TOneParmEvent OnCreate, OnDelete, OnMkDir, OnRmDir, OnMediaInserted, OnMediaRemoved, OnDriveRemoved, OnDriveAdd,
      OnNetShare, OnNetUnshare, OnAttributes, OnUpdateDir, OnUpdateItem, OnServerDisconnect, OnUpdateImage,
      OnDriveAddGUI;

  // The OR of the codes of every event that has a handler.
  std::uint32_t EventMask() const;
  // Starts watching (replacing an earlier start); nothing when no handler is set.
  // Throws std::runtime_error("Could not register SHChangeNotify") when it cannot watch.
  void Execute();
  void Stop();
  bool Registered() const { return m_registered; }
  // True when the device sources are watched; false when the drive table is polled.
  bool Watching() const { return m_watch != nullptr; }

  // Takes the drives as they are now as known, so changes the program made itself are not reported.
  void Resync();
  // One notification as the shell would post it: reported unless it repeats the last.
  void Deliver(std::uint32_t code, const std::string& path1, const std::string& path2 = {});
  // The session is ending: the handler may refuse; otherwise watching stops.
  bool QueryEndSession();

  // How long to wait after a device event before looking, so a burst is looked at once.
  static constexpr int kSettleMs = 250;
  static constexpr int kPollMs = 1000;

 private:
  // The event of a shell change code; none for other codes (and combinations of codes).
  const TOneParmEvent* OneParmHandler(std::uint32_t code) const;
  const TTwoParmEvent* TwoParmHandler(std::uint32_t code) const;
  void ScheduleLook();
  void Look();

  int m_messageNo = 1024;
  bool m_registered = false;
  std::uint32_t m_lastCode = 0;
  std::string m_lastPath1, m_lastPath2;
  std::unique_ptr<platform::DeviceWatch> m_watch;
  std::vector<QSocketNotifier*> m_notifiers;
  QTimer m_settle;
  QTimer m_poll;
  std::vector<platform::DriveState> m_drives;
};

}  // namespace drives
