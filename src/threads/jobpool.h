#ifndef JOBPOOL_H
#define JOBPOOL_H

#include <functional>

/*!
    Runs independent jobs on a few threads: no more than the machine has
    cores, nor than \a workers, each job once. Memory is the caller's to
    bound: at most that many jobs run at a time.
*/
namespace JobPool {

/*! The workers a pool of at most \a limit runs on this machine. */
int workersFor(int limit);

/*!
    Runs \a job(0) to \a job(\a count - 1) on up to \a workers threads and
    waits for them; true when every job returned true. After a failure no
    job that has not started yet is started.
*/
bool run(int count, int workers, const std::function<bool(int)> &job);

} // namespace JobPool

#endif // JOBPOOL_H
