#include "DaemonSignals.h"

#include <pthread.h>

#include "DaemonQueue.h"

CDaemonSignals::CDaemonSignals(CDaemonQueue& queue) {
  sigemptyset(&mSignals);
  sigaddset(&mSignals, SIGINT);
  sigaddset(&mSignals, SIGTERM);
  sigaddset(&mSignals, SIGHUP);
  sigaddset(&mSignals, SIGUSR1);  // the thread's own "stop waiting"
  pthread_sigmask(SIG_BLOCK, &mSignals, &mPrevious);
  mThread = std::thread([this, &queue] {
    int signal = 0;
    while (sigwait(&mSignals, &signal) == 0) {
      if (signal == SIGUSR1) {
        return;
      }
      if (signal == SIGHUP) {
        queue.Reload();
      } else {
        queue.Stop(signal);
      }
    }
  });
}

CDaemonSignals::~CDaemonSignals() {
  pthread_kill(mThread.native_handle(), SIGUSR1);
  mThread.join();
  pthread_sigmask(SIG_SETMASK, &mPrevious, nullptr);
}
