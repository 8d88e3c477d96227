// Linux backend of the HID service: hidraw nodes found through sysfs.
// <sysfs> is /sys and <dev> is /dev unless QUOREL_SYSFS_ROOT / QUOREL_DEV_ROOT
// name other folders, which is how tests and the board simulator present
// boards made of plain files and FIFOs. A privileged process (setuid, file
// capabilities) ignores both, so that whoever starts it cannot point its
// writes at a file of their choice; and only in such a test tree is a node
// anything but a character device.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/hid.h"
#include "platform/linux/hidraw_sysfs.h"

namespace platform {
namespace {

constexpr const char* kDevRootVariable = "QUOREL_DEV_ROOT";

std::string RootFromEnv(const char* variable, const char* fallback) {
  const std::string value = TrustedEnvironment(variable);
  return value.empty() ? fallback : value;
}

// Reads a whole (small) file; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string* contents) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  contents->clear();
  char chunk[4096];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    contents->append(chunk, static_cast<size_t>(n));
    if (contents->size() > (1u << 20)) break;  // no descriptor or uevent is this large
  }
  ::close(fd);
  return ok;
}

// hidraw2 before hidraw10: the kernel's numbering, not the directory's order.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    size_t digits = s.find_last_not_of("0123456789") + 1;
    unsigned long number = digits < s.size() ? std::strtoul(s.c_str() + digits, nullptr, 10) : 0;
    return std::make_pair(s.substr(0, digits), number);
  };
  return split(a) < split(b);
}

// Errors of a write that mean the device is no longer there: hidraw answers
// ENODEV once its device is unplugged, other nodes ENXIO, EIO or EPIPE.
bool MeansGone(int error) { return error == ENODEV || error == ENXIO || error == EIO || error == EPIPE; }

// A node removed from /dev (unplugged; the simulator's FIFOs alike) still
// takes bytes through an open descriptor, into nowhere: only its link count
// tells. A real hidraw node answers ENODEV once its device is gone, so the
// count is looked at no more than every kLinkCheckInterval per descriptor,
// not before every report: a board that is written 170 times a second
// costs no extra system call per report, and an unplug is still noticed
// within a tenth of a second. A descriptor's first write always looks.
constexpr std::chrono::milliseconds kLinkCheckInterval{100};
using Clock = std::chrono::steady_clock;

// When each descriptor's link count is next due, in steady-clock ticks; 0 is
// "at the next write". Indexed by descriptor: the atomics let controls on
// different threads write their own boards without a lock. Descriptors
// beyond the table are looked at before every report.
std::array<std::atomic<Clock::rep>, 1024> link_check_due{};

bool NodeRemoved(int fd, HidWriteFailure* failure) {
  const Clock::rep now = Clock::now().time_since_epoch().count();
  const bool tracked = fd >= 0 && static_cast<size_t>(fd) < link_check_due.size();
  if (tracked && now < link_check_due[static_cast<size_t>(fd)].load(std::memory_order_relaxed)) return false;
  struct stat node;
  if (::fstat(fd, &node) != 0) {
    *failure = HidWriteFailure::kOther;
    return true;
  }
  if (node.st_nlink == 0) {
    *failure = HidWriteFailure::kDeviceGone;
    return true;
  }
  if (tracked)
    link_check_due[static_cast<size_t>(fd)].store(
        now + std::chrono::duration_cast<Clock::duration>(kLinkCheckInterval).count(), std::memory_order_relaxed);
  return false;
}

// Writes first; only a node that has no room for the report is polled, until
// the deadline.
HidWriteFailure WriteBounded(int fd, std::span<const uint8_t> report) {
  HidWriteFailure removed = HidWriteFailure::kNone;
  if (NodeRemoved(fd, &removed)) return removed;
  Clock::time_point deadline{};
  size_t done = 0;
  while (done < report.size()) {
    const ssize_t n = ::write(fd, report.data() + done, report.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return HidWriteFailure::kOther;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return MeansGone(errno) ? HidWriteFailure::kDeviceGone : HidWriteFailure::kOther;
    // No room yet: wait for some until the deadline (rounded up to whole ms,
    // so that the last wait does not end just short of it and spin).
    if (deadline == Clock::time_point{}) deadline = Clock::now() + kHidWriteTimeout;
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return HidWriteFailure::kTimedOut;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(ms)) < 0 && errno != EINTR) return HidWriteFailure::kOther;
    if (p.revents & POLLNVAL) return HidWriteFailure::kOther;
    if (p.revents & (POLLERR | POLLHUP)) return HidWriteFailure::kDeviceGone;
  }
  return HidWriteFailure::kNone;
}

// Reports gathered into one system call at most; a board command has four.
constexpr size_t kMaxGathered = 16;

class LinuxHid final : public HidService {
 public:
  std::vector<HidDeviceInfo> Enumerate() override {
    const std::string sysfs = RootFromEnv("QUOREL_SYSFS_ROOT", "/sys");
    const std::string dev = RootFromEnv(kDevRootVariable, "/dev");
    const std::string class_dir = sysfs + "/class/hidraw";

    std::vector<std::string> names;
    if (DIR* dir = ::opendir(class_dir.c_str())) {
      while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
      }
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    std::vector<HidDeviceInfo> devices;
    std::string uevent, descriptor;
    for (const std::string& name : names) {
      const std::string device_dir = class_dir + "/" + name + "/device";
      if (!ReadFile(device_dir + "/uevent", &uevent)) continue;
      auto id = linux_hid::ParseUeventHidId(uevent);
      if (!id) continue;
      HidDeviceInfo info;
      info.path = dev + "/" + name;
      info.vendor_id = id->vendor_id;
      info.product_id = id->product_id;
      if (ReadFile(device_dir + "/report_descriptor", &descriptor)) {
        info.descriptor_read = true;
        info.output_report_length = linux_hid::OutputReportLength(
            {reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size()});
      }
      devices.push_back(std::move(info));
    }
    return devices;
  }

  HidHandle Open(const std::string& path, HidOpenError* error) override {
    // Non-blocking, so that a write can give up at its deadline; never
    // through a link put in place of a node.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
      if (error != nullptr) *error = {std::strerror(errno), errno == EACCES || errno == EPERM};
      return kInvalidHidHandle;
    }
    // A regular file in place of a node would take reports for ever.
    struct stat node {};
    const bool test_tree = RootFromEnv(kDevRootVariable, "").size() > 0;
    if (::fstat(fd, &node) != 0 || (!S_ISCHR(node.st_mode) && !test_tree)) {
      ::close(fd);
      if (error != nullptr) *error = {"not a character device", false};
      return kInvalidHidHandle;
    }
    return fd;
  }

  bool Write(HidHandle handle, std::span<const uint8_t> report, HidWriteFailure* failure) override {
    HidWriteFailure why = WriteBounded(static_cast<int>(handle), report);
    if (failure != nullptr) *failure = why;
    return why == HidWriteFailure::kNone;
  }

  // One gathered write for the lot. hidraw has no vectored write of its
  // own, so the kernel hands it each piece as a write of its own: one report
  // each, as separate writes would be, for one system call and one wake-up
  // of whoever waits on the node. A pipe in a test tree takes the bytes in
  // order. Whatever the gathered write leaves (no room, a piece cut short, a
  // report refused after others were taken, which the kernel reports only as
  // a short count) is written report by report from the first report not
  // taken.
  size_t WriteReports(HidHandle handle, std::span<const uint8_t> reports, size_t length,
                      HidWriteFailure* failure) override {
    if (length == 0 || reports.size() < 2 * length || handle < 0)
      return WriteEach(handle, reports, length, failure);
    const int fd = static_cast<int>(handle);
    HidWriteFailure last = HidWriteFailure::kNone;
    if (NodeRemoved(fd, &last)) {
      if (failure != nullptr) *failure = last;
      return 0;
    }
    size_t taken = 0;
    while (reports.size() >= 2 * length) {
      std::array<iovec, kMaxGathered> pieces;
      const size_t gathered = std::min(reports.size() / length, kMaxGathered);
      for (size_t i = 0; i < gathered; ++i) pieces[i] = {const_cast<uint8_t*>(reports.data() + i * length), length};
      ssize_t n;
      do n = ::writev(fd, pieces.data(), static_cast<int>(gathered));
      while (n < 0 && errno == EINTR);
      if (n < 0 && MeansGone(errno)) {
        if (failure != nullptr) *failure = HidWriteFailure::kDeviceGone;
        return taken;
      }
      if (n < 0 && errno != EAGAIN) {
        // The device refused the first report, which is lost as with Write;
        // trying it again could cost the device's own timeout twice.
        last = HidWriteFailure::kOther;
        reports = reports.subspan(length);
        break;
      }
      if (n <= 0) break;
      const size_t whole = static_cast<size_t>(n) / length, cut = static_cast<size_t>(n) % length;
      taken += whole;
      reports = reports.subspan(whole * length);
      if (cut != 0) {
        // A pipe took part of a report: its rest must follow before the next
        // report, or the reader would see the two mixed.
        last = WriteBounded(fd, reports.subspan(cut, length - cut));
        if (last == HidWriteFailure::kDeviceGone) break;
        if (last == HidWriteFailure::kNone) ++taken;
        reports = reports.subspan(length);
      }
      if (cut != 0 || whole < gathered) break;
    }
    if (last != HidWriteFailure::kDeviceGone && !reports.empty()) {
      HidWriteFailure rest = HidWriteFailure::kNone;
      taken += WriteEach(handle, reports, length, &rest);
      if (rest != HidWriteFailure::kNone) last = rest;
    }
    if (failure != nullptr) *failure = last;
    return taken;
  }

  void Close(HidHandle handle) override {
    if (handle < 0) return;
    // The number may come back for another node: its first write looks again.
    if (static_cast<size_t>(handle) < link_check_due.size())
      link_check_due[static_cast<size_t>(handle)].store(0, std::memory_order_relaxed);
    ::close(static_cast<int>(handle));
  }
};

}  // namespace

HidService& SystemHid() {
  static LinuxHid service;
  return service;
}

}  // namespace platform
