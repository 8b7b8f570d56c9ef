#include "support/FailingRead.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kArch = 0;
#endif

// Installs, on the calling thread only, a filter that fails pread64(fd, ...)
// with `error` and lets every other call through.
bool FailPreadOf(int fd, int error) {
  if (kArch == 0) {
    return false;
  }
  sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_pread64, 0, 3),
      // The descriptor: the low half of the first argument (little endian).
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(fd), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(error) & 0xFFFF)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof(code) / sizeof(code[0])), code};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace

int DescriptorOpenOn(const std::string& path) {
  std::error_code error;
  const fs::path wanted = fs::canonical(path, error);
  if (error) {
    return -1;
  }
  int found = -1;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", error)) {
    std::error_code unreadable;
    const fs::path target = fs::read_symlink(entry.path(), unreadable);
    if (unreadable || target != wanted) {
      continue;
    }
    if (found >= 0) {
      return -1;
    }
    found = std::stoi(entry.path().filename().string());
  }
  return found;
}

bool WithFailingReads(int fd, int error, const std::function<void()>& body) {
  bool installed = false;
  std::thread reader([&] {
    installed = FailPreadOf(fd, error);
    if (installed) {
      body();
    }
  });
  reader.join();
  return installed;
}
