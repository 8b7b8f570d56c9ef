// Turning the machine off: shutdown with a countdown and a message, or
// hibernation. CSystemManager is the platform-independent interface;
// COSSystemManager (OSSystemManager.h) is the implementation and exists once
// per process.
#pragma once

#include "zivorivizo/Export.h"

class ZIVO_EXPORT CSystemManager {
 public:
  virtual ~CSystemManager();
  // Starts a forced shutdown without restart after `timeout` seconds, showing
  // `message` (a default text when null). Returns at once.
  virtual int SystemShutdown(int timeout, wchar_t* message) = 0;
  // Hibernates now when allowed, else shuts down after 60 seconds.
  virtual int Hibernate(int unused) = 0;

 private:
  virtual int Init() = 0;
};
