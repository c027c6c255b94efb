#include "app/single_instance_lock.h"

#include "utils/system_probes.h"

namespace {

constexpr wchar_t kMutexPrefix[] = L"D1A547DB89C0BC61_";

}  // namespace

bool SingleInstanceLock::Acquire() {
    if (!mutex_) {
        mutex_ = platform::NamedMutex::tryAcquire(kMutexPrefix + baseName_,
                                                  Utils::kInstallerTempFolderName);
    }
    return mutex_.has_value();
}

void SingleInstanceLock::Release() {
    mutex_.reset();
}
