#pragma once
// The names one save gives files and folders in its output folder. Per folder it keeps the
// names taken (those found there when the save first looks, and those it gave since) and,
// per wanted name, the next number to try, so a card of thousands of "IMG_0001.JPG" costs
// the same per file as one. A folder whose name a file already has gets a numbered name of
// its own, and every file of that folder goes there. Names and folders too long for the
// system are shortened, a short hash of the original keeping them apart.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace fsscan {

class OutputNames {
 public:
  struct Placed {
    std::string path;      // the file's drive-letter path
    bool renamed = false;  // its name or a folder's on the way is not the medium's (shortened,
                           // numbered where a file had the folder's name, or left out as too deep)
  };

  // Forgets every folder: the next save looks at the disk again.
  void Clear() { m_roots.clear(); }
  // A fresh name for a file: in `outputFolder` (a drive-letter path), below the folders
  // `levels` (each a safe name), named `stem` + `suffix` or, when taken, `stem` + "_N" +
  // `suffix`. The name is taken from then on.
  Placed Place(const std::string& outputFolder, const std::vector<std::string>& levels, const std::string& stem,
               const std::string& suffix);

 private:
  struct Folder {
    std::string path;            // drive-letter path as saved
    std::ptrdiff_t growth = 0;   // what its POSIX form adds to the path's length
    bool caseless = false;
    bool renamed = false;        // saved under another name than the medium's
    std::unordered_map<std::string, bool> taken;  // key -> whether a folder holds the name
    std::unordered_map<std::string, std::uint64_t> next;
    std::unordered_map<std::string, std::unique_ptr<Folder>> children;  // by the key of the medium's name
  };

  Folder& Root(const std::string& outputFolder);
  std::unique_ptr<Folder> Open(std::string path, std::ptrdiff_t growth, bool caseless) const;
  static std::string Key(const Folder& folder, const std::string& name);
  static std::size_t PosixBytes(const Folder& folder);
  // The child folder for the medium's folder `level`; null when no folder fits below `parent`.
  Folder* Child(Folder& parent, const std::string& level);
  std::unordered_map<std::string, std::unique_ptr<Folder>> m_roots;
};

// `stem` + `suffix` cut to at most `budget` bytes: the suffix (an extension) kept where it is
// short, the stem cut on a character boundary and followed by "~" and eight hex digits of
// `original`'s hash. Unchanged when it fits.
std::string ShortenedName(const std::string& stem, const std::string& suffix, const std::string& original,
                          std::size_t budget);

}  // namespace fsscan
