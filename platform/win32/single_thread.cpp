// The C++ runtime guards its exception state with POSIX thread calls. The
// program has one thread, so these stand in for the threading library, whose
// start-up code and locks need kernel calls that Windows 95 does not have.
// The executable links this file as an object, ahead of that library.
#include <pthread.h>

#include <cerrno>

namespace {

constexpr unsigned kMaxKeys = 64;
void* key_values[kMaxKeys];
unsigned keys_created = 0;

}  // namespace

extern "C" {

int pthread_once(pthread_once_t* once, void (*init)()) {
  if (*once == 0) {
    *once = 1;
    init();
  }
  return 0;
}

int pthread_mutex_init(pthread_mutex_t* /*mutex*/, const pthread_mutexattr_t* /*attributes*/) {
  return 0;
}
int pthread_mutex_destroy(pthread_mutex_t* /*mutex*/) {
  return 0;
}
int pthread_mutex_lock(pthread_mutex_t* /*mutex*/) {
  return 0;
}
int pthread_mutex_unlock(pthread_mutex_t* /*mutex*/) {
  return 0;
}

// Values live as long as the process, which is as long as its one thread.
int pthread_key_create(pthread_key_t* key, void (* /*destructor*/)(void*)) {
  if (keys_created == kMaxKeys) return EAGAIN;
  *key = keys_created++;
  return 0;
}

void* pthread_getspecific(pthread_key_t key) {
  return key < keys_created ? key_values[key] : nullptr;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= keys_created) return EINVAL;
  key_values[key] = const_cast<void*>(value);
  return 0;
}

}  // extern "C"
