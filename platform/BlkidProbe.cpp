#include "platform/BlkidProbe.h"

#include <blkid/blkid.h>

#include <memory>
#include <type_traits>

namespace platform {

SuperblockProbe ProbeSuperblocks(int fd, std::uint64_t offset, std::uint64_t length) {
  SuperblockProbe result;
  std::unique_ptr<std::remove_pointer_t<blkid_probe>, decltype(&blkid_free_probe)> probe(blkid_new_probe(),
                                                                                         &blkid_free_probe);
  if (!probe || blkid_probe_set_device(probe.get(), fd, static_cast<blkid_loff_t>(offset),
                                       static_cast<blkid_loff_t>(length)) != 0) {
    return result;
  }
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID);
  // Only file systems a drive list names: probing for every kind blkid knows (RAID and
  // volume-manager labels, ZFS, ...) reads all over a drive of random data.
  static const char* kNamed[] = {"vfat",  "ntfs", "exfat", "iso9660", "udf",     "ext2", "ext3",   "ext4",
                                 "btrfs", "xfs",  "f2fs",  "hfsplus", "apfs",    "jfs",  "nilfs2", nullptr};
  blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, const_cast<char**>(kNamed));
  if (blkid_do_safeprobe(probe.get()) != 0) return result;
  const char* data = nullptr;
  if (blkid_probe_lookup_value(probe.get(), "TYPE", &data, nullptr) == 0) result.type = data;
  if (blkid_probe_lookup_value(probe.get(), "LABEL", &data, nullptr) == 0) result.label = data;
  if (blkid_probe_lookup_value(probe.get(), "UUID", &data, nullptr) == 0) result.uuid = data;
  return result;
}

}  // namespace platform
