// SDL's subsystems are started and stopped from more than one thread (the
// sound device opens beside the start-up): the layers take turns through
// this lock, since SDL's own start and stop are not safe to run at once.
#pragma once

#include <mutex>

namespace Platform {

std::mutex& SdlSubsystemLock();

}  // namespace Platform
