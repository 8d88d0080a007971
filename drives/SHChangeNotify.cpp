#include "drives/SHChangeNotify.h"

#include "util/Text.h"

#include <QSocketNotifier>

#include <stdexcept>

namespace drives {
namespace {

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

const TOneParmEvent* TSHChangeNotify::OneParmHandler(std::uint32_t code) const {
  switch (code) {
    case 0x2: return &OnCreate;
    case 0x4: return &OnDelete;
    case 0x8: return &OnMkDir;
    case 0x10: return &OnRmDir;
    case 0x20: return &OnMediaInserted;
    case 0x40: return &OnMediaRemoved;
    case 0x80: return &OnDriveRemoved;
    case 0x100: return &OnDriveAdd;
    case 0x200: return &OnNetShare;
    case 0x400: return &OnNetUnshare;
    case 0x800: return &OnAttributes;
    case 0x1000: return &OnUpdateDir;
    case 0x2000: return &OnUpdateItem;
    case 0x4000: return &OnServerDisconnect;
    case 0x8000: return &OnUpdateImage;
    case 0x10000: return &OnDriveAddGUI;
    default: return nullptr;
  }
}

const TTwoParmEvent* TSHChangeNotify::TwoParmHandler(std::uint32_t code) const {
  switch (code) {
    case 0x1: return &OnRenameItem;
    case 0x20000: return &OnRenameFolder;
    case 0x8000000: return &OnAssocChanged;
    default: return nullptr;
  }
}

std::uint32_t TSHChangeNotify::EventMask() const {
  std::uint32_t mask = 0;
  for (std::uint32_t bit = 0; bit < 32; ++bit) {
    const std::uint32_t code = std::uint32_t{1} << bit;
    const TOneParmEvent* one = OneParmHandler(code);
    const TTwoParmEvent* two = TwoParmHandler(code);
    if ((one != nullptr && *one) || (two != nullptr && *two)) mask |= code;
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
  // Only a single known code has a handler; a combination of codes has none.
  if (const TTwoParmEvent* two = TwoParmHandler(code); two != nullptr && *two) {
    (*two)(this, code, p1, p2);
  } else if (const TOneParmEvent* one = OneParmHandler(code); one != nullptr && *one) {
    (*one)(this, code, p1);
  }
}

bool TSHChangeNotify::QueryEndSession() {
  bool canEnd = true;
  if (OnEndSessionQuery) OnEndSessionQuery(this, canEnd);
  if (canEnd) Stop();
  return canEnd;
}

}  // namespace drives
