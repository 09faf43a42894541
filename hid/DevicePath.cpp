#include "hid/DevicePath.h"

#include <cstdio>

namespace hid {
namespace {

int upperHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly `digits` upper-case hex digits at the front of `text`; consumes them.
std::optional<std::uint32_t> takeHex(std::string_view& text, std::size_t digits) {
  if (text.size() < digits) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int d = upperHexDigit(text[i]);
    if (d < 0) return std::nullopt;
    value = value * 16u + static_cast<std::uint32_t>(d);
  }
  text.remove_prefix(digits);
  return value;
}

bool takeLiteral(std::string_view& text, std::string_view literal) {
  if (!text.starts_with(literal)) return false;
  text.remove_prefix(literal.size());
  return true;
}

std::optional<std::uint16_t> takeHex16(std::string_view& text) {
  const std::optional<std::uint32_t> v = takeHex(text, 4);
  if (!v) return std::nullopt;
  return static_cast<std::uint16_t>(*v);
}

constexpr std::string_view kNodePrefix = "/dev/hidraw";

}  // namespace

std::optional<KernelName> parseKernelName(std::string_view text) {
  KernelName name;
  const auto bus = takeHex16(text);
  if (!bus || !takeLiteral(text, ":")) return std::nullopt;
  const auto vendor = takeHex16(text);
  if (!vendor || !takeLiteral(text, ":")) return std::nullopt;
  const auto product = takeHex16(text);
  if (!product || !takeLiteral(text, ".")) return std::nullopt;
  const std::size_t digits = text.size();
  if (digits < 4 || digits > 8 || (digits > 4 && text.front() == '0')) return std::nullopt;
  const auto instance = takeHex(text, digits);
  if (!instance) return std::nullopt;
  name.bus = *bus;
  name.vendorId = *vendor;
  name.productId = *product;
  name.instance = *instance;
  return name;
}

std::optional<std::uint32_t> parseHidrawNodeName(std::string_view text) {
  if (!takeLiteral(text, "hidraw")) return std::nullopt;
  if (text.empty() || text.size() > 9 || (text.size() > 1 && text.front() == '0')) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

std::string hidrawNodePath(std::uint32_t node) { return std::string(kNodePrefix) + std::to_string(node); }

std::optional<std::string> makeDevicePath(std::uint32_t node, std::string_view kernelName) {
  const std::optional<KernelName> kernel = parseKernelName(kernelName);
  if (!kernel) return std::nullopt;
  char ids[32];
  std::snprintf(ids, sizeof ids, "#VID_%04X&PID_%04X#", static_cast<unsigned>(kernel->vendorId),
                static_cast<unsigned>(kernel->productId));
  std::string path = hidrawNodePath(node);
  path += ids;
  path += kernelName;
  return path;
}

std::optional<DevicePathParts> parseDevicePath(std::string_view path) {
  if (!takeLiteral(path, kNodePrefix)) return std::nullopt;
  const std::size_t hash = path.find('#');
  if (hash == std::string_view::npos) return std::nullopt;
  DevicePathParts parts;
  const std::string nodeName = "hidraw" + std::string(path.substr(0, hash));
  const std::optional<std::uint32_t> node = parseHidrawNodeName(nodeName);
  if (!node) return std::nullopt;
  path.remove_prefix(hash);

  if (!takeLiteral(path, "#VID_")) return std::nullopt;
  const auto vendor = takeHex16(path);
  if (!vendor || !takeLiteral(path, "&PID_")) return std::nullopt;
  const auto product = takeHex16(path);
  if (!product || !takeLiteral(path, "#")) return std::nullopt;

  const std::optional<KernelName> kernel = parseKernelName(path);
  if (!kernel || kernel->vendorId != *vendor || kernel->productId != *product) return std::nullopt;
  parts.node = *node;
  parts.kernel = *kernel;
  parts.kernelName = std::string(path);
  return parts;
}

}  // namespace hid
