#include "drives/SHChangeNotify.h"

#include "util/Text.h"

#include <QSocketNotifier>

#include <stdexcept>

namespace drives {
namespace {

// Events of the two-path type: renames and association changes.
bool IsTwoPathCode(std::uint32_t code) { return code == 0x1 || code == 0x20000 || code == 0x8000000; }

std::string Cased(const std::string& path, TTextCase textCase) {
  switch (textCase) {
    case TTextCase::tcUppercase: return util::UpperCase(path);
    case TTextCase::tcLowercase: return util::LowerCase(path);
    case TTextCase::tcAsIs: break;
  }
  return path;
}

}  // namespace

TSHChangeNotify::TSHChangeNotify(QObject* owner) : QObject(owner) {
  m_settle.setSingleShot(true);
  m_settle.setInterval(kSettleMs);
  connect(&m_settle, &QTimer::timeout, this, &TSHChangeNotify::Look);
  m_poll.setInterval(kPollMs);
  connect(&m_poll, &QTimer::timeout, this, &TSHChangeNotify::Look);
}

TSHChangeNotify::~TSHChangeNotify() { Stop(); }

void TSHChangeNotify::SetMessageNo(int value) {
  if (value < 1024) throw std::invalid_argument("MessageNo must be greater than or equal to 1024");
  m_messageNo = value;
}

std::uint32_t TSHChangeNotify::EventMask() const {
  struct Entry {
    bool assigned;
    std::uint32_t code;
  };
  const Entry entries[] = {
      {bool(OnRenameItem), 0x1},        {bool(OnCreate), 0x2},          {bool(OnDelete), 0x4},
      {bool(OnMkDir), 0x8},             {bool(OnRmDir), 0x10},          {bool(OnMediaInserted), 0x20},
      {bool(OnMediaRemoved), 0x40},     {bool(OnDriveRemoved), 0x80},   {bool(OnDriveAdd), 0x100},
      {bool(OnNetShare), 0x200},        {bool(OnNetUnshare), 0x400},    {bool(OnAttributes), 0x800},
      {bool(OnUpdateDir), 0x1000},      {bool(OnUpdateItem), 0x2000},   {bool(OnServerDisconnect), 0x4000},
      {bool(OnUpdateImage), 0x8000},    {bool(OnDriveAddGUI), 0x10000}, {bool(OnRenameFolder), 0x20000},
      {bool(OnAssocChanged), 0x8000000},
  };
  std::uint32_t mask = 0;
  for (const Entry& e : entries) {
    if (e.assigned) mask |= e.code;
  }
  return mask;
}

void TSHChangeNotify::Execute() {
  Stop();
  if (EventMask() == 0) return;
  m_drives = platform::SnapshotDrives();
  if (!platform::DeviceEventsByPolling()) {
    auto watch = std::make_unique<platform::DeviceWatch>();
    if (watch->Open()) m_watch = std::move(watch);
  }
  if (m_watch) {
    for (const auto& source : m_watch->Sources()) {
      const auto type = source.readiness == platform::DeviceWatch::Readiness::Exception ? QSocketNotifier::Exception
                                                                                           : QSocketNotifier::Read;
      auto* notifier = new QSocketNotifier(source.fd, type, this);
      const int fd = source.fd;
      connect(notifier, &QSocketNotifier::activated, this, [this, fd] {
        if (m_watch) m_watch->Drain(fd);
        ScheduleLook();
      });
      m_notifiers.push_back(notifier);
    }
  } else {
    m_poll.start();
  }
  m_registered = true;
  if (!m_poll.isActive() && m_notifiers.empty()) {
    Stop();
    throw std::runtime_error("Could not register SHChangeNotify");
  }
}

void TSHChangeNotify::Stop() {
  for (QSocketNotifier* n : m_notifiers) {
    n->setEnabled(false);
    delete n;
  }
  m_notifiers.clear();
  m_watch.reset();
  m_poll.stop();
  m_settle.stop();
  m_registered = false;
}

void TSHChangeNotify::ScheduleLook() {
  if (!m_settle.isActive()) m_settle.start();
}

void TSHChangeNotify::Look() {
  std::vector<platform::DriveState> now = platform::SnapshotDrives();
  const auto changes = platform::CompareDrives(m_drives, now);
  m_drives = std::move(now);
  for (const auto& change : changes) {
    if (!m_registered) break;  // a handler stopped the notifier
    Deliver(change.code, change.path);
  }
}

void TSHChangeNotify::Resync() {
  if (m_registered) m_drives = platform::SnapshotDrives();
}

void TSHChangeNotify::Deliver(std::uint32_t code, const std::string& path1, const std::string& path2) {
  const bool duplicate = code == m_lastCode && util::UpperCase(path1) == util::UpperCase(m_lastPath1) &&
                         util::UpperCase(path2) == util::UpperCase(m_lastPath2);
  m_lastCode = code;
  m_lastPath1 = path1;
  m_lastPath2 = path2;
  if (duplicate) return;
  const std::string p1 = Cased(path1, TextCase);
  const std::string p2 = Cased(path2, TextCase);
  if (IsTwoPathCode(code)) {
    const TTwoParmEvent* handler = code == 0x1 ? &OnRenameItem : code == 0x20000 ? &OnRenameFolder : &OnAssocChanged;
    if (*handler) (*handler)(this, code, p1, p2);
    return;
  }
  const TOneParmEvent* handler = nullptr;
  switch (code) {
    case 0x2: handler = &OnCreate; break;
    case 0x4: handler = &OnDelete; break;
    case 0x8: handler = &OnMkDir; break;
    case 0x10: handler = &OnRmDir; break;
    case 0x20: handler = &OnMediaInserted; break;
    case 0x40: handler = &OnMediaRemoved; break;
    case 0x80: handler = &OnDriveRemoved; break;
    case 0x100: handler = &OnDriveAdd; break;
    case 0x200: handler = &OnNetShare; break;
    case 0x400: handler = &OnNetUnshare; break;
    case 0x800: handler = &OnAttributes; break;
    case 0x1000: handler = &OnUpdateDir; break;
    case 0x2000: handler = &OnUpdateItem; break;
    case 0x4000: handler = &OnServerDisconnect; break;
    case 0x8000: handler = &OnUpdateImage; break;
    case 0x10000: handler = &OnDriveAddGUI; break;
    default: return;  // not a single known code
  }
  if (*handler) (*handler)(this, code, p1);
}

bool TSHChangeNotify::QueryEndSession() {
  bool canEnd = true;
  if (OnEndSessionQuery) OnEndSessionQuery(this, canEnd);
  if (canEnd) Stop();
  return canEnd;
}

}  // namespace drives
