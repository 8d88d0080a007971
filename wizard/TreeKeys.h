#pragma once
// The keys that place a found file in the three result trees: its folder path
// in the path tree, its extension group in the type tree and its size band.
// Folder keys are chains of names each followed by "\".

#include "util/Types.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wizard {

inline constexpr std::string_view kUndeletePrefix = "Undelete\\";
inline constexpr std::string_view kLowScanPrefix = "LowScan\\";
inline constexpr std::string_view kUndeleteRootName = "Undelete Scan Results";
inline constexpr std::string_view kLowScanRootName = "Low Level Scan Results";
// The size bands in their order in the size tree; each is also its own key.
inline constexpr std::string_view kSizeBands[] = {"< 1KB", "1KB - 100KB", "100KB - 1MB", "1MB - 10MB", "> 10MB"};

// `path` up to and including its second-last "\" (a trailing one counts); empty when
// there are fewer than two or the second-last is the first character.
std::string ReducePath(std::string_view path);
// The text before the first "\"; empty when there is none or `path` begins with one.
std::string GetFirstDirectory(std::string_view path);
// The band of a size, decided on the whole 64-bit value ("KB" and "MB" are decimal here).
std::string_view SizeBand(std::int64_t size);
// The folder key of a file in the path tree: the prefix itself for a carved file; for an
// undeleted one the prefix and the directory part of "E:\dir\name" without "E:\".
std::string TreePath(util::TScanType source, std::string_view fullName, std::string_view prefix);
// The name after the last "\".
std::string_view FileNamePart(std::string_view fullName);
// Key of a file's group in the type tree: the extension upper-cased and "\".
std::string TypeKey(std::string_view extension);

}  // namespace wizard
