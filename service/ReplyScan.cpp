#include "service/ReplyScan.h"

#include <algorithm>

namespace service {

namespace {

bool IsScanSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

constexpr std::uint32_t kSaturated = 0xFFFFFFFFu;

}  // namespace

std::optional<std::uint32_t> ScanUnsigned(std::string_view text, std::size_t& pos) {
  std::size_t p = pos;
  while (p < text.size() && IsScanSpace(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  if (p >= text.size() || !IsDigit(text[p])) return std::nullopt;
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    if (overflow) continue;  // the digits are still consumed
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[p] - '0');
    overflow = magnitude > kSaturated;
  }
  pos = p;
  if (overflow) return kSaturated;
  const auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

bool ScanComma(std::string_view text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] != ',') return false;
  ++pos;
  return true;
}

std::optional<std::string_view> ScanField(std::string_view text, std::size_t& pos, std::size_t maxLength) {
  const std::size_t comma = std::min(text.find(',', pos), text.size());
  const std::size_t length = std::min(comma - std::min(pos, comma), maxLength);
  if (length == 0) return std::nullopt;
  const std::string_view field = text.substr(pos, length);
  pos += length;
  return field;
}

}  // namespace service
