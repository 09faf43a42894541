#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace hid {

// The feature report length of a HID report descriptor, counted the way the device's host
// side sizes its feature report buffer: for every report ID (0 where the descriptor numbers no
// reports) the bits of all its Feature items (Report Size x Report Count each) are summed and
// rounded up to whole bytes; the longest of these, plus one byte for the report ID, whether or
// not the device numbers its reports. 0 when the descriptor declares no feature report (or only
// Feature items of zero bits).
//
// nullopt for a descriptor that the kernel's own parser would not accept either, so that no
// length is made up from it: an item cut off by the end of the data, a long item that does not
// fit, Pop without Push, Push deeper than the kernel's global stack (4), End Collection
// without a collection, a collection left open at the end, a Report ID of 0 or above 255, or a
// length that does not fit 16 bits. Reads nothing outside `descriptor`.
std::optional<std::uint16_t> featureReportByteLength(std::span<const std::uint8_t> descriptor);

}  // namespace hid
