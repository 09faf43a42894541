#include "hid/HidrawIoctl.h"

#include <sys/ioctl.h>

namespace hid {
namespace {

class KernelHidrawIoctl final : public HidrawIoctl {
 public:
  int getRawInfo(int fd, hidraw_devinfo& info) const override { return ::ioctl(fd, HIDIOCGRAWINFO, &info); }
  int getDescriptorSize(int fd, int& size) const override { return ::ioctl(fd, HIDIOCGRDESCSIZE, &size); }
  int getDescriptor(int fd, hidraw_report_descriptor& descriptor) const override {
    return ::ioctl(fd, HIDIOCGRDESC, &descriptor);
  }
  int sendFeature(int fd, std::uint8_t* report, std::size_t length) const override {
    return ::ioctl(fd, HIDIOCSFEATURE(length), report);
  }
};

}  // namespace

std::shared_ptr<const HidrawIoctl> kernelHidrawIoctl() {
  static const std::shared_ptr<const HidrawIoctl> instance = std::make_shared<KernelHidrawIoctl>();
  return instance;
}

}  // namespace hid
