#include "tests/cli/DfxmlRead.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <fstream>
#include <memory>
#include <stdexcept>

#include "tests/support/Command.h"

namespace dfxmlread {

namespace fs = std::filesystem;

namespace {

using Doc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;
using Context = std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)>;
using Result = std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)>;

std::string Text(xmlNode* node) {
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

std::string Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

std::vector<xmlNode*> Select(xmlXPathContext* xpath, xmlNode* from, const char* path) {
  xpath->node = from;
  Result result(xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path), xpath), &xmlXPathFreeObject);
  std::vector<xmlNode*> nodes;
  if (result && result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) nodes.push_back(result->nodesetval->nodeTab[i]);
  }
  return nodes;
}

std::string One(xmlXPathContext* xpath, xmlNode* from, const char* path) {
  const auto nodes = Select(xpath, from, path);
  return nodes.empty() ? std::string{} : Text(nodes[0]);
}

}  // namespace

Report ParseReport(const fs::path& file) {
  Doc doc(xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET), &xmlFreeDoc);
  if (!doc) throw std::runtime_error("not XML: " + file.string());
  Context xpath(xmlXPathNewContext(doc.get()), &xmlXPathFreeContext);
  xmlXPathRegisterNs(xpath.get(), BAD_CAST "d",
                     BAD_CAST "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML");
  xmlXPathRegisterNs(xpath.get(), BAD_CAST "t", BAD_CAST "https://trellmond.example/dfxml/1.0");
  xmlNode* root = xmlDocGetRootElement(doc.get());
  Report report;
  report.program = One(xpath.get(), root, "/d:dfxml/d:creator/d:program");
  report.version = One(xpath.get(), root, "/d:dfxml/d:creator/d:version");
  report.image = One(xpath.get(), root, "/d:dfxml/d:source/d:image_filename");
  for (xmlNode* node : Select(xpath.get(), root, "/d:dfxml/d:fileobject")) {
    FileObject f;
    f.filename = One(xpath.get(), node, "d:filename");
    f.size = std::stoll(One(xpath.get(), node, "d:filesize"));
    f.compressed = One(xpath.get(), node, "d:compressed") == "1";
    f.scan = One(xpath.get(), node, "t:scan");
    f.saved = One(xpath.get(), node, "t:saved");
    f.savedPath = One(xpath.get(), node, "t:saved_path");
    f.md5 = One(xpath.get(), node, "d:hashdigest[@type='md5']");
    f.sha1 = One(xpath.get(), node, "d:hashdigest[@type='sha1']");
    for (xmlNode* run : Select(xpath.get(), node, "d:byte_runs/d:byte_run")) {
      ByteRun r;
      const auto number = [&](const char* name) {
        const std::string text = Attribute(run, name);
        return text.empty() ? std::int64_t{-1} : std::stoll(text);
      };
      r.fileOffset = number("file_offset");
      r.imageOffset = number("img_offset");
      r.length = number("len");
      r.fill = Attribute(run, "fill");
      r.type = Attribute(run, "type");
      f.runs.push_back(r);
    }
    report.files.push_back(std::move(f));
  }
  return report;
}

namespace {

std::string ImageBytes(const fs::path& image, std::int64_t offset, std::int64_t length) {
  std::ifstream in(image, std::ios::binary);
  in.seekg(offset);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  in.read(bytes.data(), length);
  return bytes;
}

}  // namespace

std::string Digest(const char* tool, const std::string& path) {
  const std::string line = testsupport::RunOrThrow({tool, path});
  return line.substr(0, line.find(' '));
}

bool RebuildFromRuns(const fs::path& image, const FileObject& f, std::string& bytes) {
  for (const ByteRun& run : f.runs) {
    EXPECT_EQ(run.fileOffset, static_cast<std::int64_t>(bytes.size())) << f.filename;
    if (run.type == "resident") return false;
    if (run.fill == "0") {
      EXPECT_EQ(run.imageOffset, -1) << f.filename;
      bytes.append(static_cast<std::size_t>(run.length), '\0');
    } else {
      bytes += ImageBytes(image, run.imageOffset, run.length);
    }
  }
  return true;
}

}  // namespace dfxmlread
