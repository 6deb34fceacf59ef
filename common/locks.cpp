#include "common/locks.h"

#include <cstring>
#include <string>

#include "common/random_sets.h"

namespace {

void init_recursive_mutex(pthread_mutex_t* m) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
}

}  // namespace

LockableObject::LockableObject() {
    std::memset(name_, 0, sizeof(name_));
    std::string id = random_digit_string(8) + "-" + random_digit_string(4) + "-" + random_digit_string(4) +
                     "-" + random_digit_string(16);
    std::memcpy(name_, id.data(), id.size() < sizeof(name_) - 1 ? id.size() : sizeof(name_) - 1);
}

LockableObject::~LockableObject() = default;

const char* LockableObject::name() const { return name_; }

LightweightLock::LightweightLock() { init_recursive_mutex(&mutex_); }

LightweightLock::~LightweightLock() { pthread_mutex_destroy(&mutex_); }

int LightweightLock::lock() { return pthread_mutex_lock(&mutex_); }

int LightweightLock::unlock() { return pthread_mutex_unlock(&mutex_); }

AutoLock::AutoLock(LockableObject* target) : target_(target) {
    if (target_ != nullptr) target_->lock();
}

AutoLock::~AutoLock() {
    if (target_ != nullptr) target_->unlock();
}

thread_lock::thread_lock() { init_recursive_mutex(&mutex); }

thread_lock::~thread_lock() { pthread_mutex_destroy(&mutex); }
