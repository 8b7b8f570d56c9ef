// Reads that fail with an errno the way a kernel driver makes them fail: an
// hwmon input read while its GPU sleeps answers EINVAL, ENODATA or EAGAIN,
// which no file of a fake tree can do by itself. The kernel does it here: a
// seccomp filter makes every pread of one descriptor fail with the given
// errno, on a thread of its own (the filter belongs to that thread and goes
// with it), so the code under test runs unchanged, down to its system call.
#pragma once

#include <functional>
#include <string>

// The descriptor this process holds open on `path` (compared after
// resolving links); -1 when none is, or more than one.
int DescriptorOpenOn(const std::string& path);

// Runs `body` on a new thread where pread on `fd` fails with `error`, and
// waits for it. False (and `body` not run) when the kernel refuses the
// filter or the machine's architecture is not one this knows.
bool WithFailingReads(int fd, int error, const std::function<void()>& body);
