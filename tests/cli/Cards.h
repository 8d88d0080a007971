#pragma once
// Cards the command-line tests scan, made by mkfs.fat and mtools (sfdisk for a partition table).

#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/FatImage.h"

namespace clicards {

// Bytes that differ everywhere, the same for the same seed.
std::string Payload(std::size_t size, unsigned seed);
// A FAT32 card (`dir`/card.img) whose live file lies in two pieces (a file freed between two
// others, then a larger one written into its gap and on past the next), and a deleted photo;
// `more` adds files of a test's own.
std::filesystem::path FragmentedFatCard(const std::filesystem::path& dir,
                                        const std::function<void(testsupport::FatImage&)>& more = {});
// `volume` moved into `disk` as its one partition of MBR `type`, 1 MiB in; returns `disk`.
std::filesystem::path InPartition(const std::filesystem::path& volume, const std::filesystem::path& disk,
                                  const std::string& type);

}  // namespace clicards
