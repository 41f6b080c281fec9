#pragma once
// The base of the ports the system opens (serial devices, network
// connections): file descriptors and poll() on POSIX systems, overlapped
// handles on Windows. Both offer Close() and LastError() beside Port.

#ifdef _WIN32
#include "connection/overlapped_port.h"
namespace flovir {
using PlatformPort = OverlappedPort;
}
#else
#include "connection/descriptor_port.h"
namespace flovir {
using PlatformPort = DescriptorPort;
}
#endif
