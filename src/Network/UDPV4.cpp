#include "Network/UDPV4.h"

namespace BRIVO {

UDPV4::UDPV4() : endpointAddress(), endpointPort(0) {}

}  // namespace BRIVO
