#include "platform/platform.h"

namespace platform {

// Not yet wired: interrupts still end the process the default way.
void InstallInterruptCleanup() {}
void RegisterTemporaryFile(const std::string&) {}
void ForgetTemporaryFile(const std::string&) {}
void RegisterTemporaryFolder(const std::string&) {}
void ForgetTemporaryFolder(const std::string&) {}

}  // namespace platform
