#include "app/single_instance_lock.h"

namespace {

constexpr wchar_t kMutexPrefix[] = L"D1A547DB89C0BC61_";

// Where the lock file goes when the session has no private runtime folder: the installer's own
// temporary folder.
constexpr wchar_t kInstallerTempFolderName[] = L"~PeltaTemp.92482B06FB471E17";

}  // namespace

bool SingleInstanceLock::Acquire() {
    if (!mutex_) {
        mutex_ =
            platform::NamedMutex::tryAcquire(kMutexPrefix + baseName_, kInstallerTempFolderName);
    }
    return mutex_.has_value();
}

void SingleInstanceLock::Release() {
    mutex_.reset();
}
