#pragma once

#include <pulse/context.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

/// Waits on a threaded main loop, with its lock held by the caller, until `done()` holds or
/// `timeoutMs` passes; true when `done()` holds. A timer event of the loop itself wakes the
/// wait at the deadline, so a server that stops answering can never hold the caller longer.
template <typename Done>
bool waitLocked(pa_threaded_mainloop* loop, pa_context* context, int timeoutMs, Done done)
{
    if (done())
        return true;
    struct Deadline {
        pa_threaded_mainloop* loop;
        bool expired = false;
    } deadline{loop};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    pa_time_event* timer = pa_context_rttime_new(
        context, pa_rtclock_now() + pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
            auto* d = static_cast<Deadline*>(data);
            d->expired = true;
            pa_threaded_mainloop_signal(d->loop, 0);
        },
        &deadline);
    while (!done() && !deadline.expired)
        pa_threaded_mainloop_wait(loop);
    if (timer)
        api->time_free(timer);
    return done();
}
