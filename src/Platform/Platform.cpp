#include "zivorivizo/Platform.h"

#include <mutex>

#include "Platform/DeviceIo.h"
#include "Platform/Power.h"
#include "Platform/Registry.h"
#include "zivorivizo/Clock.h"

namespace {

struct _tagSPlatformSlot {
  std::mutex lock;
  std::shared_ptr<CPlatform> platform;
};

// Never destroyed: log statements and manager destructors may run during the
// host's static destruction and still need a platform to talk to.
_tagSPlatformSlot& Slot() {
  static auto* slot = new _tagSPlatformSlot;
  return *slot;
}

}  // namespace

CPlatform::CPlatform() = default;
CPlatform::~CPlatform() = default;

void CPlatform::Install(std::shared_ptr<CPlatform> platform) {
  _tagSPlatformSlot& slot = Slot();
  std::lock_guard<std::mutex> hold(slot.lock);
  slot.platform = std::move(platform);
}

std::shared_ptr<CPlatform> CPlatform::Current() {
  _tagSPlatformSlot& slot = Slot();
  std::lock_guard<std::mutex> hold(slot.lock);
  if (!slot.platform) {
    slot.platform = CreateLinuxPlatform("/sys");
  }
  return slot.platform;
}
