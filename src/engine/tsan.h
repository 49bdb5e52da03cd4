#pragma once

// Qt hands events between threads through locks ThreadSanitizer cannot see; these mark the
// hand-over so the sanitizer knows what the queue already orders.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define SORVIX_HANDOVER_SEND(p) __tsan_release(static_cast<void*>(p))
#define SORVIX_HANDOVER_RECEIVE(p) __tsan_acquire(static_cast<void*>(p))
#else
#define SORVIX_HANDOVER_SEND(p) ((void)(p))
#define SORVIX_HANDOVER_RECEIVE(p) ((void)(p))
#endif
