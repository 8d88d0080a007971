#include "disk/WindowsVersion.h"

#include "platform/SystemInfo.h"
#include "util/Text.h"

namespace disk {
namespace {

std::string Describe9x(const TOsVersionRecord& r, TWinVersion& v) {
  const std::string& text = r.ServicePackText;
  auto has = [&](const char* part) { return util::ContainsNoCase(text, part); };
  std::string name;
  switch (r.MinorVersion) {
    case 0:
      name = "Windows 95 Original";
      if (has("C")) name = "Windows 95 OSR2";
      if (has("B")) {
        name = "Windows 95";
        v.ServicePack = "Service Pack 1";
      }
      break;
    case 10:
      name = "Windows 98";
      if (has("A")) name = "Windows 98 Second Edition";
      break;
    case 90: name = "Windows ME"; break;
    default: break;
  }
  return name;
}

// Applies the refinements of one NT row in order; a later match overrides an earlier one.
struct Refinement {
  enum Kind { kProductBit0, kProductBits01, kSuite } kind;
  std::uint16_t suite;
  const char* name;
};

std::string Refine(std::string name, const TOsVersionRecord& r, std::initializer_list<Refinement> rules) {
  if (!r.Ext) return name;
  for (const Refinement& rule : rules) {
    const std::uint8_t product = r.Ext->ProductType;
    const bool match = rule.kind == Refinement::kProductBit0     ? (product & 1) != 0
                       : rule.kind == Refinement::kProductBits01 ? (product & 3) == 3
                                                                 : (r.Ext->SuiteMask & rule.suite) != 0;
    if (match) name = rule.name;
  }
  return name;
}

std::string DescribeNt(const TOsVersionRecord& r) {
  using R = Refinement;
  const std::uint32_t major = r.MajorVersion;
  const std::uint32_t minor = r.MinorVersion;
  if (major == 3) {
    switch (minor) {
      case 0: return "Windows NT 3.0";
      case 1: return "Windows NT 3.1";
      case 5: return "Windows NT 3.5";
      case 51: return "Windows NT 3.51";
      default: return {};
    }
  }
  if (major == 4) {
    return Refine("Windows NT 4.0", r,
                  {{R::kProductBit0, 0, "Windows NT 4.0 Workstation"},
                   {R::kProductBits01, 0, "Windows NT 4.0 Server"},
                   {R::kSuite, 0x4, "Windows NT 4.0 Server w/ BackOffice Server"},
                   {R::kSuite, 0x1, "Windows NT 4.0 Server w/ BackOffice Small-Business Server"},
                   {R::kSuite, 0x20, "Windows NT 4.0 Server w/ BackOffice Small-Business Server (Rest.)"}});
  }
  if (major == 5) {
    switch (minor) {
      case 0:
        return Refine("Windows 2000", r,
                      {{R::kProductBit0, 0, "Windows 2000 Professional"},
                       {R::kProductBits01, 0, "Windows 2000 Server"},
                       {R::kSuite, 0x80, "Windows 2000 Datacenter Server"},
                       {R::kSuite, 0x2, "Windows 2000 Advanced Server"}});
      case 1:
        return Refine("Windows XP", r,
                      {{R::kProductBit0, 0, "Windows XP Professional"},
                       {R::kProductBits01, 0, "Windows 2003 Server"},
                       {R::kSuite, 0x200, "Windows XP Home Edition"},
                       {R::kSuite, 0x2, "Windows 2003 Enterprise Server"}});
      case 2:
        return Refine("Windows Server 2003", r,
                      {{R::kSuite, 0x400, "Windows Server 2003 Web Edition"},
                       {R::kSuite, 0x80, "Windows Server 2003 Datacenter Edition"},
                       {R::kSuite, 0x2, "Windows Server 2003 Enterprise Edition"}});
      default: return minor <= 9 ? "Future Windows Version" : std::string{};
    }
  }
  if (major == 6) return "Windows NT 6 Beta - \"Longhorn\"";
  if (major >= 7 && major <= 99) return "Future Windows Version";
  return {};
}

}  // namespace

TWinVersion DescribeWindowsVersion(const TOsVersionRecord& r) {
  TWinVersion v;
  v.MajorVersion = static_cast<std::int32_t>(r.MajorVersion);
  v.MinorVersion = static_cast<std::int32_t>(r.MinorVersion);
  switch (r.PlatformId) {
    case 0:
      v.Name = "Windows 3.x + Win32";
      v.BuildNumber = static_cast<std::int32_t>(r.BuildNumber);
      break;
    case 1:
      v.Platform = "9x";
      v.BuildNumber = static_cast<std::int32_t>(r.BuildNumber & 0xFFFF);
      v.Name = Describe9x(r, v);
      break;
    case 2:
      v.Platform = "NT";
      v.BuildNumber = static_cast<std::int32_t>(r.BuildNumber);
      v.ServicePack = r.ServicePackText;
      v.Name = r.NativeName.empty() ? DescribeNt(r) : r.NativeName;
      break;
    default: break;
  }
  if (!v.ServicePack.empty()) v.Name += " with " + v.ServicePack;
  return v;
}

TOsVersionRecord RunningSystemVersion() {
  const platform::OsVersion& os = platform::RunningOsVersion();
  TOsVersionRecord r;
  r.PlatformId = 2;
  if (os.ok) {
    r.MajorVersion = static_cast<std::uint32_t>(os.major);
    r.MinorVersion = static_cast<std::uint32_t>(os.minor);
    r.BuildNumber = static_cast<std::uint32_t>(os.build);
  }
  r.NativeName = !os.description.empty() ? os.description
                 : os.systemName.empty()  ? std::string{}
                                          : os.systemName + " " + os.release;
  return r;
}

}  // namespace disk
