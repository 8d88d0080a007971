#pragma once
// Whether a cluster holds directory entries. A deleted directory's FAT chain is gone,
// so the clusters after its first are taken only while they still look like a directory.

#include <cstdint>

#include "fsscan/FatNames.h"
#include "util/ByteReader.h"

namespace fsscan {

enum class DirectoryCluster : std::uint8_t {
  kNotDirectory,  // an entry no file system writes: file data, or garbage
  kContinues,     // entries to its end: the directory may go on in the next cluster
  kEnds,          // entries, then the end mark: the directory ends here
};

// `lastCluster` is the volume's highest cluster number.
DirectoryCluster ClassifyDirectoryCluster(const util::ByteReader& cluster, std::int64_t lastCluster);
// True when the cluster starts with the "." entry naming `self` and a ".." entry, as the
// first cluster of every sub-directory does.
bool StartsWithDotEntries(const util::ByteReader& cluster, std::int64_t self);

// True when the cluster starts where the deleted long name `pending` broke off: the rest of
// its pieces, with its checksum, then the deleted short entry that checksum belongs to. This
// ties a deleted directory's cluster found elsewhere to the directory.
bool ContinuesDeletedName(const LongNameAssembler& pending, const util::ByteReader& cluster,
                          std::int64_t lastCluster);

}  // namespace fsscan
