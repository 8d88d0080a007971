#pragma once
// One batch of file types searched in a Low Level Scan, as the scan keeps it
// while every batch is carved from the same read of the drive. The first batch
// reports as it goes; the others keep their log lines and files in order and
// report them once the batches before them are done, so that the owner sees
// exactly what separate passes, one after another, would have shown.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lowscan/Carver.h"
#include "lowscan/FileNode.h"
#include "lowscan/MarkerData.h"

namespace lowscan {

struct TDeferredEvent {
  bool isFile = false;
  std::string message, action;  // a log line
  FileNode file;                // a file that passed its check
  int marker = -1;
  bool atEnd = false;
  bool byStructure = false;     // its structure gave its end
  std::string shownType;        // the type its structure showed it to be, if told
  bool dropped = false;         // inside a file another batch found
  std::int64_t number = 0;      // its number within the batch
  bool released = false;        // reported (or dropped) while the drive was read
};

// A file the carver closed, on its way through the picture check.
struct TClosedFile {
  FileNode file;
  int marker = -1;
  bool atEnd = false;
  bool byStructure = false;
  std::string shownType;
  std::int64_t opened = 0;  // files the batch had opened when this one closed
  bool ok = true;           // what the check said
};

struct TScanBatch {
  std::vector<std::string> types;
  std::vector<TMarkerData> markers;
  std::vector<TPattern> patterns;
  std::int64_t counter = 0;      // files opened within the batch
  std::int64_t rejected = 0;     // of them, those the check turned down that gave back their number
  std::int64_t firstNumber = 0;  // the scanner's file counter before the batch
  bool live = false;             // reports at once
  std::vector<TDeferredEvent> deferred;
  std::unique_ptr<TCarver> carver;
};

}  // namespace lowscan
