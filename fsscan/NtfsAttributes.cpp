// Decoding one NTFS FILE record into a FileNode: its times, names and data.

#include <algorithm>

#include "fsscan/FatNames.h"
#include "fsscan/MekFATScan.h"
#include "fsscan/NtfsLayout.h"
#include "online/ActionCodes.h"
#include "util/DateTime.h"
#include "util/Text.h"

namespace fsscan {
namespace {

constexpr std::uint8_t kWin32NameSpace = 1;
constexpr std::uint64_t kFileNameOffset = 66;
constexpr std::uint16_t kCompressionMask = 0x00FF;
// Largest compression unit accepted, as a power of two of clusters (Windows writes 4).
constexpr std::uint8_t kMaxCompressionShift = 8;
constexpr std::uint64_t kHexBytes = 50;

// Text after the last dot, without it; empty when the name has none.
std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string{} : name.substr(dot + 1);
}

std::string RunHex(const util::ByteReader& attribute, std::uint64_t offset) {
  const std::uint64_t length = std::min<std::uint64_t>(kHexBytes, attribute.Size() - offset);
  return util::StrToHex(attribute.Text(offset, length));
}

}  // namespace

void TMekFATScan::NTFSHandleAttribute10(const ntfs::Attribute& attribute, FileNode& record) {
  if (attribute.NonResident()) return;
  const auto value = attribute.ResidentValue();
  if (!value) return;
  // A time of 0 is no time (the formatter leaves $MFT's so), not 1 January 1601.
  if (const auto modified = value->ReadU64LE(8); modified && *modified != 0) {
    record.DateTime = util::MyFileTimeToDateTime(*modified);
  }
}

void TMekFATScan::NTFSHandleAttribute30(const ntfs::Attribute& attribute, FileNode& record) {
  if (attribute.NonResident()) return;
  const auto value = attribute.ResidentValue();
  if (!value || !value->Has(0, kFileNameOffset)) return;
  std::u16string name;
  for (std::uint64_t at = kFileNameOffset; value->Has(at, 2); at += 2) name.push_back(value->U16(at));
  const std::string text = util::Trim(Utf16ToUtf8(name));
  if (value->U8(65) == kWin32NameSpace) {
    record.LongName = text;
  } else {
    record.ShortName = text;
  }
  record.ParentDir = value->U32(0);
}

void TMekFATScan::NTFSHandleAttribute80(const ntfs::Attribute& attribute, std::uint32_t bytesPerSector,
                                        FileNode& record) {
  if (!attribute.NonResident()) {
    const auto value = attribute.ResidentValue();
    if (!value) return;
    record.ResidentData = std::make_unique<util::TMemoryStream>();
    record.ResidentData->Write(value->Bytes().data(), static_cast<std::int64_t>(value->Size()));
    record.Size = static_cast<std::int64_t>(value->Size());
    record.Resident = true;
    record.Clusters.reset();
    record.FirstCluster = 0;
    record.CompressionUnit = 0;
    return;
  }
  // Later pieces of a long run list live in extension records and start past cluster 0
  // of the file; on their own they would misplace the data.
  if (attribute.bytes.U64(16) != 0) return;
  const util::ByteReader& bytes = attribute.bytes;
  const std::vector<ntfs::Run> runs = ntfs::DecodeRunList(bytes, bytes.U16(32));
  const std::int64_t totalClusters = m_raw->GetTotalClusterCount();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const ntfs::Run& run = runs[i];
    if (i == 0) {
      record.Clusters.emplace();
      record.FirstCluster = run.start;
      record.Size = static_cast<std::int64_t>(bytes.U64(48));
      record.Resident = false;
      record.ResidentData.reset();
      record.CompressionUnit = 0;
      if ((attribute.Flags() & kCompressionMask) != 0) {
        const std::uint8_t shift = bytes.U8(34);
        record.CompressionUnit = shift >= 1 && shift <= kMaxCompressionShift ? std::int64_t{1} << shift : -1;
      }
    }
    ClusterNode node{run.start, run.length, run.sparse, RunHex(attribute.toRecordEnd, run.headerOffset)};
    if (run.start < 0 || run.length < 0 || run.start > totalClusters || run.length > totalClusters) {
      Log("Attr80 Problem:<br>StartCluster: " + std::to_string(run.start) + "<br> NumClusters: " +
              std::to_string(run.length) + "<br>MTF: " + std::to_string(record.MFT) + "<br>BytesPerSec: " +
              std::to_string(bytesPerSector) + "<br>FixupArray: <br>PreFixup: <br>PostFixup: <br>Debug:" + node.Hex,
          online::action::kUnexpected);
    }
    record.Clusters->push_back(std::move(node));
  }
}

std::unique_ptr<FileNode> TMekFATScan::DecodeMFTRecord(std::span<std::byte> bytes, std::uint32_t bytesPerSector,
                                                       bool withTimes, ntfs::RecordStreams* streams) {
  const util::ByteReader reader(bytes);
  const ntfs::RecordHeader header = ntfs::ParseRecordHeader(reader);
  if (!ntfs::ApplyFixups(bytes, header)) {
    Log("MFT record " + std::to_string(header.recordNumber) +
            " is damaged (its update sequence does not match); left out",
        online::action::kError);
    return nullptr;
  }
  auto record = std::make_unique<FileNode>();
  record->MFT = header.recordNumber;
  ntfs::ForEachAttribute(reader, header, [&](const ntfs::Attribute& attribute) {
    switch (attribute.type) {
      case ntfs::kAttrStandardInformation:
        if (withTimes) NTFSHandleAttribute10(attribute, *record);
        break;
      case ntfs::kAttrFileName:
        NTFSHandleAttribute30(attribute, *record);
        break;
      case ntfs::kAttrData:
        HandleDataAttribute(attribute, bytesPerSector, *record, streams);
        break;
      default:
        break;
    }
  });
  if (record->ShortName.empty()) record->ShortName = record->LongName;
  if (record->LongName.empty()) record->LongName = record->ShortName;
  // The name shown and saved is the Win32 one; its extension is the file's, where the DOS
  // name's is cut to three letters ("holiday.jpeg" beside "HOLIDA~1.JPE").
  record->Extension = util::UpperCase(ExtensionOf(record->LongName));
  if (streams != nullptr) {
    for (auto& stream : streams->named) NameStream(*record, *stream);
  }
  return record;
}

void TMekFATScan::HandleDataAttribute(const ntfs::Attribute& attribute, std::uint32_t bytesPerSector,
                                      FileNode& record, ntfs::RecordStreams* streams) {
  // A named data attribute is an alternate stream (a download's zone mark, a thumbnail,
  // hidden notes): the file's own contents are in the unnamed one, so a stream never
  // replaces them; it becomes a record of its own.
  if (attribute.NameLength() == 0) {
    NTFSHandleAttribute80(attribute, bytesPerSector, record);
    if (streams != nullptr) streams->hasData = true;
    return;
  }
  if (streams == nullptr) return;
  const auto name = attribute.bytes.Sub(attribute.bytes.U16(10), std::uint64_t{attribute.NameLength()} * 2);
  if (!name) return;
  std::u16string text;
  for (std::uint64_t at = 0; name->Has(at, 2); at += 2) text.push_back(name->U16(at));
  auto stream = std::make_unique<FileNode>();
  stream->MFT = record.MFT;
  stream->StreamName = Utf16ToUtf8(text);
  NTFSHandleAttribute80(attribute, bytesPerSector, *stream);
  streams->named.push_back(std::move(stream));
}

void TMekFATScan::NameStream(const FileNode& file, FileNode& stream) {
  stream.LongName = file.LongName + ":" + stream.StreamName;
  stream.ShortName = file.ShortName + ":" + stream.StreamName;
  stream.ParentDir = file.ParentDir;
  stream.DateTime = file.DateTime;
  // The stream's own type decides its previews and filtering, not the file's.
  stream.Extension = util::UpperCase(ExtensionOf(stream.StreamName));
}

}  // namespace fsscan
