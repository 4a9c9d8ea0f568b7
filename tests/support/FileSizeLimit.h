#ifndef FILESIZELIMIT_H
#define FILESIZELIMIT_H
// Limits the size of every file the process writes for one scope, so that a
// test can make a write fail half-way (a full disk). SIGXFSZ is ignored:
// the oversized write fails instead of ending the test.

#include <csignal>
#include <sys/resource.h>

struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

#endif
