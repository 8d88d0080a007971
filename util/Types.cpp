#include "util/Types.h"

namespace util {

TReadInfo& GlobalReadInfo() {
  static TReadInfo info;
  return info;
}

}  // namespace util
