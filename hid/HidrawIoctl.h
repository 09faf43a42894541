#pragma once

#include <linux/hidraw.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace hid {

// The hidraw ioctls, one function each, returning what ioctl() returns (-1 on failure). The
// real implementation calls the kernel; tests put a scripted one in its place to reach the code
// that interprets the results. Nothing but the ioctl call itself belongs here.
class HidrawIoctl {
 public:
  virtual ~HidrawIoctl() = default;
  virtual int getRawInfo(int fd, hidraw_devinfo& info) const = 0;                      // HIDIOCGRAWINFO
  virtual int getDescriptorSize(int fd, int& size) const = 0;                          // HIDIOCGRDESCSIZE
  virtual int getDescriptor(int fd, hidraw_report_descriptor& descriptor) const = 0;  // HIDIOCGRDESC
  // HIDIOCSFEATURE(length); `report` is length bytes, byte 0 the report ID.
  virtual int sendFeature(int fd, std::uint8_t* report, std::size_t length) const = 0;
};

// The kernel's ioctls. Shared, stateless.
std::shared_ptr<const HidrawIoctl> kernelHidrawIoctl();

}  // namespace hid
