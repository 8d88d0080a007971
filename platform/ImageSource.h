#pragma once
// A disk image whose bytes are not one plain file: an Expert Witness image
// (card.E01, card.E02, ...) read through libewf, or a raw image split into
// numbered parts (card.001, card.002, ...). Read-only; a volume reads it as it
// would read a plain image.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace platform {

class ImageSource {
 public:
  enum class Kind { Plain, ExpertWitness, SplitRaw };

  // What `path` names: an Expert Witness image by its signature; the first part
  // of a split raw image by its number (.000 or .001, with the next part beside
  // it); else a plain file or device.
  static Kind KindOf(const std::string& path);
  // Opens an Expert Witness or split raw image with all its parts; nullptr,
  // last error and errno set, when it cannot be read (or `path` is neither).
  static std::shared_ptr<const ImageSource> Open(const std::string& path);
  // Why the Expert Witness or split raw image `path` names cannot be opened, in
  // words for the user ("part card.003 is missing"); empty when it can, or is
  // neither.
  static std::string Problem(const std::string& path);

  virtual ~ImageSource();
  ImageSource(const ImageSource&) = delete;
  ImageSource& operator=(const ImageSource&) = delete;

  // The medium's bytes, as the image holds them (not the files' sizes).
  std::uint64_t Size() const { return m_size; }
  // Reads into the whole span from byte `offset`; returns the bytes read (short
  // at the end). -1 on an error, with the last error set.
  virtual std::int64_t ReadAt(std::uint64_t offset, std::span<std::byte> out) const = 0;

  // A descriptor libblkid can probe for [offset, offset + length): a sparse
  // copy of the medium holding the first and last mebibyte of that stretch (all
  // a probe of a partition table or a file system looks at), and of whatever
  // other places were asked for before. -1 when no copy can be made.
  int ProbeFd(std::uint64_t offset, std::uint64_t length) const;

 protected:
  explicit ImageSource(std::uint64_t size) : m_size(size) {}

 private:
  void CopyForProbe(std::uint64_t offset, std::uint64_t length) const;

  std::uint64_t m_size = 0;
  mutable std::mutex m_probeMutex;
  mutable int m_probeFd = -1;
  mutable std::vector<std::pair<std::uint64_t, std::uint64_t>> m_copied;  // [begin, end) already in the copy
};

}  // namespace platform
