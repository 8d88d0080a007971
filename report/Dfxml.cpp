#include "report/Dfxml.h"

#include <libxml/xmlversion.h>
#include <libxml/xmlwriter.h>
#include <openssl/opensslv.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include "report/FileDigests.h"

namespace report {
namespace {

constexpr const char* kDfxmlNamespace = "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
constexpr const char* kDfxmlVersion = "2.0.0-beta.0";
// What DFXML has no element for (the scan, the saved copy) goes under the program's own namespace.
constexpr const char* kOwnPrefix = "trellmond";
constexpr const char* kOwnNamespace = "https://trellmond.example/dfxml/1.0";

using Writer = std::unique_ptr<xmlTextWriter, decltype(&xmlFreeTextWriter)>;

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// Collects the first failure of the writer calls; later calls do nothing.
class Document {
 public:
  explicit Document(xmlTextWriterPtr writer) : m_writer(writer) {}
  bool ok() const { return m_ok; }
  void Check(int result) { m_ok = m_ok && result >= 0; }
  void Start(const char* name) {
    if (m_ok) Check(xmlTextWriterStartElement(m_writer, X(name)));
  }
  void End() {
    if (m_ok) Check(xmlTextWriterEndElement(m_writer));
  }
  void Attribute(const char* name, const std::string& value) {
    if (m_ok) Check(xmlTextWriterWriteAttribute(m_writer, X(name), X(XmlSafeText(value).c_str())));
  }
  void Element(const char* name, const std::string& value) {
    if (m_ok) Check(xmlTextWriterWriteElement(m_writer, X(name), X(XmlSafeText(value).c_str())));
  }
  void OwnElement(const char* name, const std::string& value) {
    if (m_ok) {
      Check(xmlTextWriterWriteElementNS(m_writer, X(kOwnPrefix), X(name), nullptr, X(XmlSafeText(value).c_str())));
    }
  }
  void Hash(const char* type, const std::string& hex) {
    Start("hashdigest");
    Attribute("type", type);
    if (m_ok) Check(xmlTextWriterWriteString(m_writer, X(hex.c_str())));
    End();
  }

 private:
  xmlTextWriterPtr m_writer;
  bool m_ok = true;
};

std::string IsoTime(util::TDateTime value) {
  const util::DateTimeFields f = util::DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
  return text;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string UserName() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) return found->pw_name;
  return std::to_string(getuid());
}

std::string CompilerText() {
#if defined(__clang__)
  return "Clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#else
  return "unknown";
#endif
}

void WriteCreator(Document& doc, const ReportOrigin& origin) {
  doc.Start("creator");
  doc.Element("program", origin.program);
  doc.Element("version", TRELLMOND_VERSION);
  doc.Start("build_environment");
  doc.Element("compiler", CompilerText());
  doc.Start("library");
  doc.Attribute("name", "libxml2");
  doc.Attribute("version", LIBXML_DOTTED_VERSION);
  doc.End();
  doc.Start("library");
  doc.Attribute("name", "OpenSSL");
  doc.Attribute("version", OPENSSL_VERSION_STR);
  doc.End();
  doc.End();
  doc.Start("execution_environment");
  if (utsname system{}; uname(&system) == 0) {
    doc.Element("os_sysname", system.sysname);
    doc.Element("os_release", system.release);
    doc.Element("os_version", system.version);
    doc.Element("host", system.nodename);
    doc.Element("arch", system.machine);
  }
  doc.Element("command_line", origin.commandLine);
  doc.Element("uid", std::to_string(getuid()));
  doc.Element("username", UserName());
  doc.Element("start_time", UtcNow());
  doc.End();
  doc.End();
}

void WriteRuns(Document& doc, const FileEntry& file) {
  doc.Start("byte_runs");
  for (const ByteRun& run : file.runs) {
    doc.Start("byte_run");
    if (!file.compressed) doc.Attribute("file_offset", std::to_string(run.fileOffset));
    if (run.kind == ByteRun::Kind::Stored) doc.Attribute("img_offset", std::to_string(run.imageOffset));
    doc.Attribute("len", std::to_string(run.length));
    if (run.kind == ByteRun::Kind::Sparse) doc.Attribute("fill", "0");
    // Bytes kept inside the NTFS file record: where that record lies is not kept by the scan.
    if (run.kind == ByteRun::Kind::Resident) doc.Attribute("type", "resident");
    doc.End();
  }
  doc.End();
}

// "\DCIM\IMG_1.JPG" as forensic tools name a path on its volume: "DCIM/IMG_1.JPG".
std::string VolumePath(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  const std::size_t first = name.find_first_not_of('/');
  return first == std::string::npos ? std::string{} : name.substr(first);
}

void WriteFile(Document& doc, const FileEntry& file) {
  doc.Start("fileobject");
  doc.Element("filename", VolumePath(file.name));
  std::optional<FileDigests> digests;
  if (file.saved && !file.savedPath.empty()) {
    digests = DigestFile(file.savedPath);
    if (!digests) doc.Element("error", "the saved copy could not be read for its hashes");
  }
  doc.Element("id", file.id);
  doc.Element("name_type", "r");
  doc.Element("filesize", std::to_string(file.size));
  if (file.compressed) doc.Element("compressed", "1");
  if (file.modified != 0) doc.Element("mtime", IsoTime(file.modified));
  WriteRuns(doc, file);
  if (digests) {
    doc.Hash("md5", digests->md5);
    doc.Hash("sha1", digests->sha1);
  }
  doc.OwnElement("scan", file.scan);
  if (!file.origin.empty()) doc.OwnElement("origin", file.origin);
  doc.OwnElement("saved", file.saved ? "1" : "0");
  if (file.saved && !file.savedPath.empty()) doc.OwnElement("saved_path", file.savedPath);
  doc.End();
}

}  // namespace

std::string XmlSafeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t at = 0;
  while (at < text.size()) {
    int length = static_cast<int>(std::min<std::size_t>(text.size() - at, 4));
    const int code = xmlGetUTF8Char(bytes + at, &length);
    const bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
    if (code < 0 || length <= 0) {
      out += "\xEF\xBF\xBD";
      ++at;
      continue;
    }
    if (allowed) {
      out.append(text, at, static_cast<std::size_t>(length));
    } else {
      out += "\xEF\xBF\xBD";
    }
    at += static_cast<std::size_t>(length);
  }
  return out;
}

bool WriteDfxml(const std::string& path, const ReportOrigin& origin, const std::vector<FileEntry>& files,
                std::string& why) {
  Writer writer(xmlNewTextWriterFilename(path.c_str(), 0), &xmlFreeTextWriter);
  if (!writer) {
    why = std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  xmlTextWriterSetIndent(writer.get(), 1);
  xmlTextWriterSetIndentString(writer.get(), X("  "));
  Document doc(writer.get());
  doc.Check(xmlTextWriterStartDocument(writer.get(), nullptr, "UTF-8", nullptr));
  doc.Start("dfxml");
  doc.Attribute("xmlns", kDfxmlNamespace);
  doc.Attribute("xmlns:dc", "http://purl.org/dc/elements/1.1/");
  doc.Attribute(("xmlns:" + std::string(kOwnPrefix)).c_str(), kOwnNamespace);
  doc.Attribute("version", kDfxmlVersion);
  doc.Start("metadata");
  doc.Element("dc:type", "File recovery report");
  doc.End();
  WriteCreator(doc, origin);
  doc.Start("source");
  doc.Element("image_filename", origin.sourcePath);
  doc.End();
  for (const FileEntry& file : files) WriteFile(doc, file);
  doc.End();
  doc.Check(xmlTextWriterEndDocument(writer.get()));
  const bool ok = doc.ok() && xmlTextWriterFlush(writer.get()) >= 0;
  writer.reset();
  if (!ok) why = "writing failed";
  return ok;
}

}  // namespace report
