#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hid {

// A device path names one hidraw node together with the HID device it belonged to when the
// path was made:
//
//   /dev/hidraw<N>#VID_<VVVV>&PID_<PPPP>#<BBBB>:<VVVV>:<PPPP>.<NNNN>
//
// e.g. "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A".
//
// - "/dev/hidraw<N>" is the node (N decimal, no leading zeros). It is a name, not a file system
//   path: the open looks the node up under its own /dev root, so no text in a path can point an
//   open anywhere but at a hidraw node.
// - "VID_%04X&PID_%04X" carries the interface's IDs in upper-case hex, where the waits for a
//   bootloader and for re-enumeration search arriving paths for such a pattern.
// - The last part is the kernel name of the hid device ("%04X:%04X:%04X.%04X" of bus, vendor,
//   product and an instance counter that the kernel never hands out twice within a boot). After
//   an unplug the kernel readily gives the same hidraw node to the next device, so the open
//   checks that the node still belongs to this kernel name.
//
// Parsing accepts exactly this form, as produced here: upper-case hex only, the IDs of the
// middle part equal to those of the kernel name, nothing before or after.

struct KernelName {
  std::uint16_t bus = 0;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint32_t instance = 0;
};

struct DevicePathParts {
  std::uint32_t node = 0;  // N of hidraw<N>
  KernelName kernel;
  std::string kernelName;  // the kernel name as text, compared as it stands with sysfs
};

// "0003:1DD2:1234.000A": four upper-case hex digits each for bus, vendor and product, then 4 to
// 8 for the instance (the kernel prints it with "%04X", so more than four digits never start
// with 0).
std::optional<KernelName> parseKernelName(std::string_view text);

// "hidraw3" -> 3; decimal without leading zeros, at most 9 digits.
std::optional<std::uint32_t> parseHidrawNodeName(std::string_view text);

// "/dev/hidraw3": the node as it appears in a device path; also the bare name that stands for
// a node whose HID device is not known.
std::string hidrawNodePath(std::uint32_t node);

// The device path of node `node` whose HID device has kernel name `kernelName`; nullopt when
// the kernel name is not of the form above.
std::optional<std::string> makeDevicePath(std::uint32_t node, std::string_view kernelName);

std::optional<DevicePathParts> parseDevicePath(std::string_view path);

}  // namespace hid
