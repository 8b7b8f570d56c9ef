#include "support/SharedMockLogind.h"

CMockLogind& SharedMockLogind() {
  static CMockLogind mock;
  return mock;
}
