// trellmond-cli: the recovery engine without a window.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace cli {

std::string UsageText() {
  return R"(Usage: trellmond-cli COMMAND [OPTIONS]

Recovers deleted or lost files from memory cards, USB sticks, disks and disk images.

Commands:
  drives      List the drives this machine offers, one line per drive, fields
              separated by tabs:
                letter, drive type (0 unknown, 1 not in use, 2 removable, 3 fixed,
                4 network, 5 CD/DVD, 6 RAM disk), display name, size, free space,
                file system, volume label, serial number (8 hex digits),
                bytes per sector, sectors per cluster, total data clusters.
  scan SOURCE [OPTIONS]
              Scan SOURCE, a drive letter of the drive table (E or E:) or the path of
              an image file or block device (attached as a free letter), for lost
              files. Progress goes to standard error; the summary line gives the
              files found, the files saved and the seconds taken. A whole disk
              or card image scans its one volume (from its partition table, or
              found by its boot sectors when the table is gone).
      --partition N     a disk of several volumes: scan the Nth (1, 2, ... as
                        the refusal without it lists them); 0 the whole disk
      --undelete        the Undelete scan: FAT12/16/32 and exFAT directories and
                        the NTFS master file table, names and folders kept (the
                        default)
      --low             the Low Level Scan: files cut out of the raw sectors at
                        the header and footer markers of the catalogue's types
                        (with --undelete, both scans run, Undelete first)
      --thorough        Low Level Scan: headers at any offset, one pass per
                        batch of non-conflicting types (default: quick scan,
                        headers only where a cluster begins, one pass)
      --catalogue FILE  Low Level Scan: marker lines from FILE instead of the
                        bundled catalogue
      --all             also list live files, not only deleted ones
      --types LIST      only these extensions, comma-separated (jpg,png,doc);
                        a type the scan does not know is an error that lists
                        the known ones; Low Level Scan default: the types
                        the catalogue ticks
      --out DIR         save every file found into DIR (created if missing),
                        under its original folders; refused when DIR is on
                        the scanned drive
      --report FILE     write a JSON report (its folder must exist; checked
                        before the scan): one object per file with its scan,
                        identifier, full name, directory, size, date, first
                        cluster, saved flag, output path, its origin
                        after a format ("lost folder", "old MFT record")
                        and the sectors the save could not read (zeros in
                        the saved file)
      --dfxml FILE      write a DFXML report (checked like --report): the
                        program and source, and per file its full name,
                        size, time, scan, byte runs on the source (image
                        offsets and lengths), saved flag and path, and the
                        MD5 and SHA-1 of the saved copy
      --verbose         print every scanner log line with its action code,
                        each "<br>" starting a new line
      --timeout-ms MS   give up a read of the source that takes longer than
                        MS milliseconds and go on as past a bad sector
                        (default 5000; 0: no limit)
      --service URL     work with the vendor service at URL (for example
                        http://127.0.0.1:8642): a transaction number, the
                        machine record, every scanner log line and the
                        statistics of each scan and save go to it, and the
                        Low Level Scan takes its catalogue and default types
                        from it
  image SOURCE IMAGE [OPTIONS]
              Copy SOURCE (a drive letter, block device or image file, opened
              read-only) into the file IMAGE the careful way for failing media:
              large reads that skip ahead past errors, then the skipped areas
              sector by sector, then retries; unreadable sectors stay zero.
              The map (GNU ddrescue's mapfile format) is saved as it goes: the
              same command after Ctrl-C goes on where the copy stopped.
      --map FILE        the map (default: IMAGE.map)
      --retries N       read the remaining bad sectors N more times (default 0)
      --timeout-ms MS   give up a read after MS milliseconds and come back to
                        it in a later pass (default 0: no limit)
  help        Show this text (also --help, -h).

Drives:
  Drive letters come from the drive table: letters named in TRELLMOND_DRIVES
  first (for example TRELLMOND_DRIVES="E=/data/card.img;F=/dev/sdc1;G=/srv/out"),
  then C: for the file system holding "/", further mounted file systems, and
  unmounted partitions and removable disks. Image files are removable drives that
  can be scanned but not written; folders are drives that can be written.

Exit codes:
  0  done: every file found was saved (or nothing was to be saved)
  1  usage: an unknown command, option or file type, or a missing value
  2  the source cannot be read (the reason follows the message)
  3  the output folder or report was refused or could not be written, or
     some files could not be saved
  4  the service could not be reached or gave no transaction number
  5  no FAT, exFAT or NTFS file system found on the source (Undelete scan
     only; try --low)
  130 image: stopped by Ctrl-C; the map says where to go on

See also trellmond-cli(1).
)";
}

}  // namespace cli

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << cli::UsageText();
    return cli::kExitUsage;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << cli::UsageText();
    return cli::kExitDone;
  }
  if (command == "drives") return cli::RunDrives(args);
  if (command == "scan") return cli::RunScan(args);
  if (command == "image") return cli::RunImage(args);
  std::cerr << "Unknown command: " << command << "\n\n" << cli::UsageText();
  return cli::kExitUsage;
}
