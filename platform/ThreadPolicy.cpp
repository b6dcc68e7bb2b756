#include "ThreadPolicy.h"

#include <pthread.h>
#include <sched.h>

namespace lurvik {

void markAsBatchWork() {
    // Any thread may choose this policy without privileges; where the system lacks it the thread
    // simply keeps the ordinary one.
    sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &none);
}

} // namespace lurvik
