#ifndef REFUSETHREADS_H
#define REFUSETHREADS_H
// Makes the system refuse new threads, as a per-user process limit or a
// container's task limit does, for a test: pthread_create fails with EAGAIN.
// RLIMIT_NPROC does not bind root, so the tests bring their own refusal.
//
// Linked into a test executable (the target `corvena_refuse_threads`), it
// takes the place of pthread_create for the whole process, Qt's threads
// and std::thread included. Preloaded into the program (the library
// `libcv_refuse_threads.so` through LD_PRELOAD) it is steered by the
// environment:
//   CORVENA_REFUSE_THREADS_FILE=<path>  refuses every thread while the file
//                                       exists; a number n in it lets n
//                                       more start first
//   CORVENA_REFUSE_THREADS_AFTER=<n>    lets the first n threads start and
//                                       refuses every later one

extern "C" {
// 0 off; 1 every new thread is refused; 2 only threads that other threads
// than the process's first one start (a worker's own helper, say).
void refuseThreads(int mode);
// Threads refused since the process started.
long refusedThreads(void);
}

#endif
