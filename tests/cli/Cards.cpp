#include "tests/cli/Cards.h"

#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

namespace clicards {

namespace fs = std::filesystem;

std::string Payload(std::size_t size, unsigned seed) {
  std::string out(size, '\0');
  std::uint32_t x = 2463534242u + seed;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

fs::path FragmentedFatCard(const fs::path& dir, const std::function<void(testsupport::FatImage&)>& more) {
  testsupport::FatImage image(dir / "card.img", {.fatBits = 32, .sizeKiB = 40 * 1024, .sectorsPerCluster = 1});
  const std::string photo =
      testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples/sample.jpg");
  image.AddFile("/gap.bin", Payload(3 * 512, 1), 1120000000);
  image.AddFile("/wall.bin", Payload(2 * 512, 2), 1120000000);
  image.Delete("/gap.bin");
  image.ForgetNextFreeCluster();
  image.AddFile("/pieces.bin", Payload(7 * 512 + 100, 3), 1120000000);
  image.MakeDir("/DCIM");
  image.AddFile("/DCIM/beach.jpg", photo, 1120000000);
  image.Delete("/DCIM/beach.jpg");
  if (more) more(image);
  return image.Path();
}

fs::path InPartition(const fs::path& volume, const fs::path& disk, const std::string& type) {
  testsupport::RunOrThrow({"truncate", "-s", std::to_string(fs::file_size(volume) + (2 << 20)), disk.string()});
  testsupport::RunOrThrow({"sh", "-c", "echo 'start=2048, type=" + type + "' | sfdisk --quiet \"$0\"", disk.string()});
  testsupport::RunOrThrow(
      {"dd", "if=" + volume.string(), "of=" + disk.string(), "bs=1M", "seek=1", "conv=notrunc", "status=none"});
  fs::remove(volume);
  return disk;
}

}  // namespace clicards
