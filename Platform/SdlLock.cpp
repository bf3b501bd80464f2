#include "Platform/SdlLock.h"

namespace Platform {

std::mutex& SdlSubsystemLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace Platform
