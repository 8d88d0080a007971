#include "tests/fsscan/ScanFixture.h"

#include <algorithm>
#include <random>

#include "platform/DriveTable.h"
#include "tests/support/ScanWorkers.h"

namespace fsscantest {

class ScannerHarness::Prompt : public util::DefaultPrompt {
 public:
  explicit Prompt(ScannerHarness& owner) : m_owner(owner) {}
  void SecurityWarning() override { ++m_owner.securityWarnings; }

 private:
  ScannerHarness& m_owner;
};

ScannerHarness::ScannerHarness(const std::filesystem::path& image) : m_prompt(std::make_unique<Prompt>(*this)) {
  letter = platform::DriveTable::Instance().Attach(image.string());
  scanner.SetRAW(&raw);
  scanner.SetDrive(letter);
  scanner.SetPrompt(m_prompt.get());
  scanner.SetImageFilter("");
  scanner.SetWorkers(testsupport::ScanWorkers());
  scanner.OnLogNotify = [this](fsscan::TMekFATScan*, const std::string& m, const std::string& a) {
    log.push_back({m, a});
  };
  scanner.OnFileNotify = [this](fsscan::TMekFATScan*, util::TScanType, const std::string& id,
                                util::TMemoryStream* image, const std::string& fullName, const std::string& ext,
                                util::TFileType, std::int64_t size) {
    reported.push_back({id, fullName, ext, size, image != nullptr});
  };
}

ScannerHarness::~ScannerHarness() { platform::DriveTable::Instance().Detach(letter); }

void ScannerHarness::Scan(bool deletedOnly, const std::string& filter) {
  reported.clear();
  log.clear();
  scanner.SetDeletedOnly(deletedOnly);
  scanner.SetFilter(filter);
  scanner.ScanDrive();
}

bool ScannerHarness::Logged(const std::string& part, const std::string& action) const {
  return std::any_of(log.begin(), log.end(), [&](const LogLine& l) {
    return l.message.find(part) != std::string::npos && (action.empty() || l.action == action);
  });
}

const fsscan::FileNode* ScannerHarness::Find(const std::string& longName) const {
  for (const auto& r : scanner.FileList()) {
    if (r->LongName == longName) return r.get();
  }
  return nullptr;
}

std::string ScannerHarness::Names() const {
  std::vector<std::string> names;
  for (const auto& r : scanner.FileList()) names.push_back(r->Dir + r->LongName);
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += n + "\n";
  return out;
}

OutputDrive::OutputDrive() { letter = platform::DriveTable::Instance().Attach(dir.Path().string()); }
OutputDrive::~OutputDrive() { platform::DriveTable::Instance().Detach(letter); }

std::string OutputDrive::Folder(const std::string& sub) const {
  return std::string(1, letter) + ":\\" + sub;
}

std::filesystem::path OutputDrive::Posix(const std::string& relative) const { return dir.Path() / relative; }

std::string ShortEntry(const std::string& name11, std::uint8_t attr, std::uint32_t cluster, std::uint32_t size) {
  std::string e(32, '\0');
  e.replace(0, 11, name11.substr(0, 11));
  e[11] = static_cast<char>(attr);
  e[20] = static_cast<char>(cluster >> 16);
  e[21] = static_cast<char>(cluster >> 24);
  e[26] = static_cast<char>(cluster);
  e[27] = static_cast<char>(cluster >> 8);
  for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<char>(size >> (8 * i));
  return e;
}

std::map<std::string, std::string> FilesUnder(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) {
      files[std::filesystem::relative(e.path(), root).string()] = testsupport::ReadFileBytes(e.path());
    }
  }
  return files;
}

std::string Payload(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

}  // namespace fsscantest

namespace fsscantest {

std::vector<CardFile> FillHolidayCard(testsupport::FatImage& image, std::time_t modified) {
  image.MakeDir("/DCIM");
  image.MakeDir("/DCIM/100CANON");
  image.MakeDir("/Docs");
  image.MakeDir("/Docs/Old");
  image.MakeDir("/Hidden");
  std::vector<CardFile> files = {
      {"/DCIM/100CANON/IMG_0001.JPG", Payload(30000, 1), false, ""},
      {"/DCIM/100CANON/IMG_0002.JPG", Payload(20000, 2), true, ""},
      {"/DCIM/Holiday photos 2005.jpg", Payload(9000, 3), true, ""},
      {"/DCIM/Holiday photo 2006.jpg", Payload(7000, 4), false, ""},
      {"/Docs/readme.txt", Payload(5000, 5), false, ""},
      {"/Docs/Grüße für Anna.txt", Payload(3000, 6), false, ""},
      {"/Docs/Old/report.doc", Payload(9000, 7), true, ""},
      {"/protected.jpg", Payload(4000, 8), false, "+r"},
      {"/Hidden/secret.txt", Payload(2500, 9), false, ""},
      {"/Hidden/gone.txt", Payload(1500, 10), true, ""},
  };
  for (const CardFile& f : files) image.AddFile(f.path, f.contents, modified);
  image.AddFile("/empty.txt", "", modified);
  image.AddFile("/DCIM/empty-deleted.jpg", "", modified);
  // A hole made by a deleted file, then a larger file that fills it and continues elsewhere.
  image.AddFile("/hole.bin", Payload(4096, 11), modified);
  image.AddFile("/after.bin", Payload(2048, 12), modified);
  image.Delete("/hole.bin");
  image.ForgetNextFreeCluster();  // so the next file starts in the hole, as on a camera
  files.push_back({"/after.bin", Payload(2048, 12), false, ""});
  files.push_back({"/fragmented.bin", Payload(12000, 13), false, ""});
  image.AddFile(files.back().path, files.back().contents, modified);
  for (const CardFile& f : files) {
    if (!f.attributes.empty()) image.SetAttributes(f.path, f.attributes);
  }
  image.SetAttributes("/Hidden", "+h");
  for (const CardFile& f : files) {
    if (f.deleted) image.Delete(f.path);
  }
  image.Delete("/DCIM/empty-deleted.jpg");
  image.DeleteTree("/Docs/Old");
  return files;
}

}  // namespace fsscantest
