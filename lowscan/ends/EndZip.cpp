// ZIP and the packages built on it (Office Open XML, OpenDocument, EPUB, JAR):
// local headers with their data, the central directory, then the end record and
// its comment. Members written without sizes (data descriptor) are scanned to
// the next record's signature. The members' names tell which package it is.

#include <cstring>
#include <string_view>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

class ZipEnd : public TEndWalker<ZipEnd> {
 protected:
  void Start() override { Want(0, 30); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kSignature: return OnSignature(at, b);
      case State::kLocal: return OnLocal(at, b);
      case State::kCentral:
        m_state = State::kSignature;
        return Want(at + 46 + b.Le(28, 2) + b.Le(30, 2) + b.Le(32, 2), 4);
      case State::kEnd:
        if (ShownType().empty() && !m_otherPackage) SetShownType("zip");
        return Finish(at + 22 + b.Le(20, 2));
      case State::kName: return OnName(b);
      case State::kMime: return OnMime(b);
      case State::kZip64End:
        m_state = State::kSignature;
        return Want(at + 12 + static_cast<std::int64_t>(b.Le64(4) & 0x7FFFFFFFFFFFull), 4);
      case State::kScan: return OnScan(at, b);
      case State::kPeek:
        if (IsRecord(b.Data())) {
          m_state = State::kSignature;
          return OnSignature(at, b);
        }
        m_state = State::kScan;
        return ScanFrom(at + 1);
    }
  }

 private:
  enum class State { kSignature, kLocal, kCentral, kEnd, kZip64End, kScan, kPeek, kName, kMime };

  static bool IsRecord(const unsigned char* p) {
    return p[0] == 'P' && p[1] == 'K' &&
           ((p[2] == 7 && p[3] == 8) || (p[2] == 3 && p[3] == 4) || (p[2] == 1 && p[3] == 2));
  }

  void OnSignature(std::int64_t at, const Bytes& b) {
    if (!b.Is(0, "PK")) return Lose();
    const unsigned kind = b.Be(2, 2);
    struct Record {
      unsigned kind;
      State state;
      std::size_t length;
    };
    static constexpr Record kRecords[] = {{0x0304, State::kLocal, 30},
                                          {0x0102, State::kCentral, 46},
                                          {0x0506, State::kEnd, 22},
                                          {0x0606, State::kZip64End, 12}};
    for (const Record& r : kRecords) {
      if (r.kind != kind) continue;
      m_state = r.state;
      return Want(at, r.length);
    }
    if (kind == 0x0607) return Want(at + 20, 4);  // zip64 end locator
    if (kind == 0x0708) return Want(at + 16, 4);  // data descriptor with its signature
    Lose();
  }

  void OnLocal(std::int64_t at, const Bytes& b) {
    const unsigned version = b.Le(4, 2), flags = b.Le(6, 2), nameLength = b.Le(26, 2);
    const std::uint32_t size = b.Le(18, 4);
    if (!b.Is(0, "PK\x03\x04") || (version & 0xFF) > 63 || nameLength == 0 || nameLength > 4096) return Reject();
    SetHeaderParsed();
    m_member = {at + 30 + nameLength + b.Le(28, 2), size, flags, b.Le(8, 2)};
    if (size == 0xFFFFFFFFu) return Lose();  // zip64 sizes in the extra field: not followed
    if (!ShownType().empty() || m_otherPackage) return AfterLocal();
    m_state = State::kName;
    Want(at + 30, nameLength);
  }

  void AfterLocal() {
    if ((m_member.flags & 0x08) != 0 && m_member.size == 0) {
      m_state = State::kScan;
      return ScanFrom(m_member.data);
    }
    m_state = State::kSignature;
    Want(m_member.data + m_member.size, 4);
  }

  // The packages built on ZIP tell themselves by their part names, or by a first,
  // stored member "mimetype" that names their media type.
  void OnName(const Bytes& b) {
    const std::string_view name(reinterpret_cast<const char*>(b.Data()), b.Size());
    if (name.starts_with("word/")) SetShownType("docx");
    else if (name.starts_with("xl/")) SetShownType("xlsx");
    else if (name.starts_with("ppt/")) SetShownType("pptx");
    else if (name == "META-INF/MANIFEST.MF") SetShownType("jar");
    const bool mime = name == "mimetype" && m_member.method == 0 && (m_member.flags & 0x08) == 0;
    if (!mime || m_member.size == 0 || m_member.size > 128) return AfterLocal();
    m_state = State::kMime;
    Want(m_member.data, m_member.size);
  }

  void OnMime(const Bytes& b) {
    const std::string_view type(reinterpret_cast<const char*>(b.Data()), b.Size());
    if (type == "application/vnd.oasis.opendocument.text") SetShownType("odt");
    else if (type == "application/vnd.oasis.opendocument.spreadsheet") SetShownType("ods");
    else if (type == "application/epub+zip") SetShownType("epub");
    else m_otherPackage = true;  // a package of a type the catalogue does not name
    AfterLocal();
  }

  // A member of unknown size: its data ends where a descriptor or the next
  // record begins ("PK" and a known kind).
  void OnScan(std::int64_t at, const Bytes& b) {
    const unsigned char* p = b.Data();
    const std::size_t n = b.Size();
    for (std::size_t i = 0; i < n; ++i) {
      const void* hit = std::memchr(p + i, 'P', n - i);
      if (hit == nullptr) break;
      i = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
      if (i + 4 > n) {
        m_state = State::kPeek;
        return Want(at + static_cast<std::int64_t>(i), 4);
      }
      if (IsRecord(p + i)) {
        m_state = State::kSignature;
        return Want(at + static_cast<std::int64_t>(i), 4);
      }
    }
    ScanFrom(at + static_cast<std::int64_t>(n));
  }

  struct Member {
    std::int64_t data = 0;
    std::uint32_t size = 0;
    unsigned flags = 0;
    unsigned method = 0;
  };

  State m_state = State::kLocal;
  Member m_member;
  bool m_otherPackage = false;
};

}  // namespace

std::unique_ptr<TFileEnd> Zip() { return std::make_unique<ZipEnd>(); }

}  // namespace lowscan::ends
