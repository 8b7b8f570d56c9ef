#include "DaemonSignals.h"

#include <pthread.h>

#include <utility>

CDaemonSignals::CDaemonSignals(std::function<void(int)> onStop, std::function<void()> onReload) {
  sigemptyset(&mSignals);
  sigaddset(&mSignals, SIGINT);
  sigaddset(&mSignals, SIGTERM);
  sigaddset(&mSignals, SIGHUP);
  sigaddset(&mSignals, SIGUSR1);  // the thread's own "stop waiting"
  pthread_sigmask(SIG_BLOCK, &mSignals, &mPrevious);
  mThread = std::thread([this, stop = std::move(onStop), reload = std::move(onReload)] {
    int signal = 0;
    while (sigwait(&mSignals, &signal) == 0) {
      if (signal == SIGUSR1) {
        return;
      }
      if (signal == SIGHUP && reload) {
        reload();
      } else {
        stop(signal);
      }
    }
  });
}

CDaemonSignals::~CDaemonSignals() {
  pthread_kill(mThread.native_handle(), SIGUSR1);
  mThread.join();
  pthread_sigmask(SIG_SETMASK, &mPrevious, nullptr);
}
