#include "hid/HidSystem.h"

namespace hid {

HidClassGuid GetHidGuid() { return HidClassGuid{"hidraw"}; }

}  // namespace hid
