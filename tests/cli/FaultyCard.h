#pragma once
// A failing card for tests: a FAT image (mkfs.fat) with random bytes behind its file system,
// served by tests/support/faulty_file.py under FUSE as card.img, failing chosen
// sectors with EIO and answering slowly on others; every read it serves is logged.
// Unmounted when the object goes.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

struct SectorRange {
  std::uint64_t first = 0;
  std::uint64_t count = 0;
  double seconds = 0;  // slow ranges: the wait of every read that touches them
};

struct FaultyCardOptions {
  std::uint64_t sectors = 16384;
  std::vector<SectorRange> bad;
  std::vector<SectorRange> slow;
  double delay = 0;  // every read
  // Files copied into the card's root by mcopy before it is served: name, contents.
  std::vector<std::pair<std::string, std::string>> files;
};

// Whether this machine can mount FUSE files; `why` says what is missing.
bool FuseAvailable(std::string& why);

class FaultyCard {
 public:
  explicit FaultyCard(const FaultyCardOptions& options);
  ~FaultyCard();
  FaultyCard(const FaultyCard&) = delete;
  FaultyCard& operator=(const FaultyCard&) = delete;

  std::filesystem::path Card() const { return m_dir / "mnt" / "card.img"; }
  std::filesystem::path Dir() const { return m_dir.Path(); }
  // The card's bytes as a good card would give them.
  std::string Backing() const;
  // The card's sectors that hold `name` (a file of the root), in order, by mshowfat and
  // the boot sector's layout.
  std::vector<std::uint64_t> SectorsOf(const std::string& name) const;
  // The reads served so far, as (offset, size), from the `from`-th on.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> Reads(std::size_t from = 0) const;

 private:
  TempDir m_dir;
  pid_t m_server = -1;
};

}  // namespace testsupport
