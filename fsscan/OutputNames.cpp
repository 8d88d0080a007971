#include "fsscan/OutputNames.h"

#include <algorithm>
#include <cstdio>

#include "platform/FolderNames.h"
#include "util/Text.h"

namespace fsscan {
namespace {

// An extension longer than this is no extension worth keeping whole in a shortened name.
constexpr std::size_t kMaxKeptSuffix = 64;
// Below this many bytes of room a folder level would be a stump; the files stay a level up.
constexpr std::size_t kMinFolderBytes = 24;

std::uint32_t Fnv1a(const std::string& text) {
  std::uint32_t hash = 2166136261U;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619U;
  }
  return hash;
}

// The longest start of `text` of at most `bytes` bytes that ends between UTF-8 characters.
std::string CutAtCharacter(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string ShortenedName(const std::string& stem, const std::string& suffix, const std::string& original,
                          std::size_t budget) {
  if (stem.size() + suffix.size() <= budget) return stem + suffix;
  char tag[16];
  std::snprintf(tag, sizeof tag, "~%08x", Fnv1a(original));
  const bool keepSuffix = suffix.size() <= std::min(kMaxKeptSuffix, budget / 2);
  const std::string whole = keepSuffix ? stem : stem + suffix;
  const std::string end = std::string(tag) + (keepSuffix ? suffix : std::string{});
  return CutAtCharacter(whole, budget > end.size() ? budget - end.size() : 0) + end;
}

std::unique_ptr<OutputNames::Folder> OutputNames::Open(std::string path, std::ptrdiff_t growth, bool caseless) const {
  auto folder = std::make_unique<Folder>();
  folder->path = std::move(path);
  folder->growth = growth;
  folder->caseless = caseless;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder->path)) {
    folder->taken[Key(*folder, entry.name)] = entry.directory;
  }
  return folder;
}

std::string OutputNames::Key(const Folder& folder, const std::string& name) {
  return folder.caseless ? util::LowerCase(name) : name;
}

std::size_t OutputNames::PosixBytes(const Folder& folder) {
  return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(folder.path.size()) + folder.growth));
}

OutputNames::Folder& OutputNames::Root(const std::string& outputFolder) {
  std::string path = outputFolder;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  auto& root = m_roots[path];
  if (!root) {
    root = Open(path, platform::PosixPathGrowth(path), platform::FolderIgnoresCase(path));
  }
  return *root;
}

OutputNames::Folder* OutputNames::Child(Folder& parent, const std::string& level) {
  const std::string levelKey = Key(parent, level);
  const auto known = parent.children.find(levelKey);
  if (known != parent.children.end()) return known->second.get();
  // Room for this level and, below it, a separator and a name of the longest kind.
  const std::size_t used = PosixBytes(parent) + 1 + 1 + platform::kMaxNameBytes;
  if (used + kMinFolderBytes > platform::kMaxPathBytes) return nullptr;
  const std::size_t budget = std::min(platform::kMaxNameBytes, platform::kMaxPathBytes - used);
  std::string name = ShortenedName(level, "", level, budget);
  const auto byFile = parent.taken.find(Key(parent, name));
  if (byFile != parent.taken.end() && !byFile->second) {
    // A file has the name: the folder takes the next numbered name no one has.
    do {
      const std::string numbered = level + "_" + std::to_string(++parent.next[levelKey]);
      name = ShortenedName(numbered, "", numbered, budget);
    } while (parent.taken.contains(Key(parent, name)));
  }
  parent.taken[Key(parent, name)] = true;
  const std::string path = parent.path.back() == '\\' ? parent.path + name : parent.path + "\\" + name;
  auto child = Open(path, parent.growth, parent.caseless);
  child->renamed = parent.renamed || name != level;
  Folder* made = child.get();
  parent.children[levelKey] = std::move(child);
  return made;
}

OutputNames::Placed OutputNames::Place(const std::string& outputFolder, const std::vector<std::string>& levels,
                                       const std::string& stem, const std::string& suffix) {
  Placed placed;
  Folder* folder = &Root(outputFolder);
  for (const std::string& level : levels) {
    Folder* child = Child(*folder, level);
    if (child == nullptr) {
      // Too deep for the system: the rest of the way is left out and the files saved here.
      placed.renamed = true;
      break;
    }
    folder = child;
  }
  placed.renamed = placed.renamed || folder->renamed;
  const std::size_t separator = folder->path.back() == '\\' ? 0 : 1;
  const std::size_t used = PosixBytes(*folder) + separator;
  const std::size_t budget = std::min(platform::kMaxNameBytes, used < platform::kMaxPathBytes ? platform::kMaxPathBytes - used : 0);
  const std::string wanted = stem + suffix;
  std::string name = ShortenedName(stem, suffix, wanted, budget);
  if (name != wanted) placed.renamed = true;
  if (folder->taken.contains(Key(*folder, name))) {
    std::uint64_t& next = folder->next[Key(*folder, wanted)];
    do {
      const std::string numbered = stem + "_" + std::to_string(++next);
      name = ShortenedName(numbered, suffix, numbered + suffix, budget);
    } while (folder->taken.contains(Key(*folder, name)));
  }
  folder->taken[Key(*folder, name)] = false;
  placed.path = folder->path + (separator != 0 ? "\\" : "") + name;
  return placed;
}

}  // namespace fsscan
