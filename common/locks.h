// Lock classes: an abstract named lockable object, its implementation over one recursive POSIX
// mutex, a scoped guard, and a bare recursive mutex.
#ifndef SELK_COMMON_LOCKS_H
#define SELK_COMMON_LOCKS_H

#include <pthread.h>

// The lock interface. Each object carries a random name of the form 8-4-4-16 decimal digits
// (35 characters), written once by the constructor and readable from any thread.
class LockableObject {
  public:
    LockableObject();
    virtual ~LockableObject();
    LockableObject(const LockableObject&) = delete;
    LockableObject& operator=(const LockableObject&) = delete;

    // Both return the underlying result code, 0 on success.
    virtual int lock() = 0;
    virtual int unlock() = 0;
    // The name as a NUL-terminated text, valid while the object lives.
    virtual const char* name() const;

  private:
    char name_[40];  // the random identifier and its terminator
};

// A LockableObject over one recursive mutex: the holding thread may lock it again and must
// unlock it as often. Must not be destroyed while held.
class LightweightLock : public LockableObject {
  public:
    LightweightLock();
    ~LightweightLock() override;

    int lock() override;    // pthread_mutex_lock's result
    int unlock() override;  // pthread_mutex_unlock's result

  private:
    pthread_mutex_t mutex_;  // recursive
};

// Locks the target for the guard's lifetime. The target is not owned and must outlive the guard;
// lock and unlock results are ignored.
class AutoLock {
  public:
    explicit AutoLock(LockableObject* target);
    virtual ~AutoLock();
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

  private:
    LockableObject* target_;  // not owned
};

// A bare recursive mutex for callers that lock it directly.
struct thread_lock {
    thread_lock();
    ~thread_lock();
    thread_lock(const thread_lock&) = delete;
    thread_lock& operator=(const thread_lock&) = delete;

    pthread_mutex_t mutex;  // recursive
};

#endif  // SELK_COMMON_LOCKS_H
