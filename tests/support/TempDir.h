#pragma once
// A private temporary folder removed with everything in it when the object goes.

#include <filesystem>
#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

// The file's bytes, or only its first `limit` (a boot sector of a large image).
std::string ReadFileBytes(const std::filesystem::path& path, std::size_t limit = std::string::npos);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
// SHA-256 of a file as lower-case hex (through sha256sum).
std::string Sha256Of(const std::filesystem::path& path);

}  // namespace testsupport
