#include "tests/cli/FaultyCard.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Command.h"

extern char** environ;

namespace testsupport {

namespace {

std::string Ranges(const SectorRange& range, bool slow) {
  std::ostringstream text;
  text << range.first << ':' << range.count;
  if (slow) text << ':' << range.seconds;
  return text.str();
}

}  // namespace

bool FuseAvailable(std::string& why) {
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    why = "/dev/fuse is not available on this machine: the failing-card tests need FUSE";
    return false;
  }
  return true;
}

FaultyCard::FaultyCard(const FaultyCardOptions& options) {
  const auto backing = m_dir / "backing.img";
  {
    std::mt19937_64 random(options.sectors);
    std::string bytes(options.sectors * 512, '\0');
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      const std::uint64_t value = random();
      bytes.replace(i, 8, reinterpret_cast<const char*>(&value), 8);
    }
    WriteFileBytes(backing, bytes);
  }
  RunOrThrow({"mkfs.fat", "-n", "CARD", backing.string()});
  for (const auto& [name, contents] : options.files) {
    WriteFileBytes(m_dir / name, contents);
    RunOrThrow({"mcopy", "-i", backing.string(), (m_dir / name).string(), "::/" + name});
  }
  std::filesystem::create_directory(m_dir / "mnt");

  std::vector<std::string> args = {"/usr/bin/python3", std::string(TRELLMOND_SOURCE_DIR) + "/tests/support/faulty_file.py",
                                   backing.string(), (m_dir / "mnt").string(), "--log", (m_dir / "reads.log").string()};
  for (const auto& range : options.bad) args.insert(args.end(), {"--bad", Ranges(range, false)});
  for (const auto& range : options.slow) args.insert(args.end(), {"--slow", Ranges(range, true)});
  if (options.delay > 0) args.insert(args.end(), {"--delay", std::to_string(options.delay)});
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (posix_spawn(&m_server, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start the FUSE server");
  for (int i = 0; i < 200 && !std::filesystem::exists(Card()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  if (!std::filesystem::exists(Card())) throw std::runtime_error("the FUSE card did not appear");
}

FaultyCard::~FaultyCard() {
  RunCommand({"fusermount3", "-u", (m_dir / "mnt").string()});
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(m_server, &status, WNOHANG) == m_server) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(m_server, SIGKILL);
  ::waitpid(m_server, &status, 0);
  RunCommand({"fusermount3", "-u", "-z", (m_dir / "mnt").string()});
}

std::vector<std::uint64_t> FaultyCard::SectorsOf(const std::string& name) const {
  const std::string boot = ReadFileBytes(m_dir / "backing.img").substr(0, 512);
  const auto u16 = [&](std::size_t at) {
    return std::uint64_t{static_cast<unsigned char>(boot[at])} | std::uint64_t{static_cast<unsigned char>(boot[at + 1])} << 8;
  };
  const std::uint64_t spc = static_cast<unsigned char>(boot[13]);
  const std::uint64_t firstData = u16(14) + static_cast<unsigned char>(boot[16]) * u16(22) + (u16(17) * 32 + 511) / 512;
  // mshowfat prints the file's cluster runs: "::/NAME <2-50> <60-61>".
  const auto shown = RunCommand({"mshowfat", "-i", (m_dir / "backing.img").string(), "::/" + name});
  std::vector<std::uint64_t> sectors;
  std::istringstream runs(shown.output.substr(shown.output.find('<')));
  std::string run;
  while (runs >> run) {
    std::uint64_t from = 0, to = 0;
    if (std::sscanf(run.c_str(), "<%lu-%lu>", &from, &to) == 1) to = from;
    for (std::uint64_t c = from; c <= to; ++c)
      for (std::uint64_t s = 0; s < spc; ++s) sectors.push_back(firstData + (c - 2) * spc + s);
  }
  return sectors;
}

std::string FaultyCard::Backing() const { return ReadFileBytes(m_dir / "backing.img"); }

std::vector<std::pair<std::uint64_t, std::uint64_t>> FaultyCard::Reads(std::size_t from) const {
  std::ifstream log(m_dir / "reads.log");
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reads;
  std::uint64_t offset = 0, size = 0;
  for (std::size_t i = 0; log >> offset >> size; ++i)
    if (i >= from) reads.emplace_back(offset, size);
  return reads;
}

}  // namespace testsupport
