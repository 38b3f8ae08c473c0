#pragma once
// Processor time of the whole process (every thread, the in-process or HTTP service's
// included). On a shared machine a run's wall time says as much about its neighbours as about
// the run; the processor time is what the run itself costs.

#include <sys/resource.h>

namespace bench {

inline double processorSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
