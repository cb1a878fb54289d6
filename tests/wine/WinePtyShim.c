// Preloaded into Wine (programs and server) for the serial tests on pseudo-terminals:
//  - answers the modem-line ioctls on a pseudo-terminal, which has no such lines; without it
//    Wine fails every WaitCommEvent there, because it reads the lines when the wait begins;
//  - opens every file with O_NOCTTY, so that the server, a session leader, never takes a
//    port as its controlling terminal and gets a hang-up when the test's far end closes.
// Everything else goes to the real calls unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#ifdef __has_include
#if __has_include(<linux/serial.h>)
#include <linux/serial.h>
#endif
#endif

typedef int (*ioctl_fn)(int, unsigned long, ...);

// Unix98 pseudo-terminal slaves have majors 136..143.
static int is_pty_slave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (!real)
        real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");

    int r = real(fd, request, arg);
    if (r == 0 || !is_pty_slave(fd))
        return r;
    int saved = errno;
    switch (request) {
    case TIOCMGET:
        // Lines as a null-modem cable to a live far end shows them.
        *(int*)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 0;
#ifdef TIOCGICOUNT
    case TIOCGICOUNT:
        memset(arg, 0, sizeof(struct serial_icounter_struct));
        return 0;
#endif
    }
    errno = saved;
    return r;
}

static int needs_mode(int flags) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);

#define SHIM_OPEN(name)                                                                            \
    int name(const char* path, int flags, ...) {                                                   \
        static open_fn real;                                                                       \
        mode_t mode = 0;                                                                           \
        if (needs_mode(flags)) {                                                                   \
            va_list ap;                                                                            \
            va_start(ap, flags);                                                                   \
            mode = va_arg(ap, mode_t);                                                             \
            va_end(ap);                                                                            \
        }                                                                                          \
        if (!real)                                                                                 \
            real = (open_fn)dlsym(RTLD_NEXT, #name);                                               \
        return real(path, flags | O_NOCTTY, mode);                                                 \
    }

#define SHIM_OPENAT(name)                                                                          \
    int name(int dir, const char* path, int flags, ...) {                                          \
        static openat_fn real;                                                                     \
        mode_t mode = 0;                                                                           \
        if (needs_mode(flags)) {                                                                   \
            va_list ap;                                                                            \
            va_start(ap, flags);                                                                   \
            mode = va_arg(ap, mode_t);                                                             \
            va_end(ap);                                                                            \
        }                                                                                          \
        if (!real)                                                                                 \
            real = (openat_fn)dlsym(RTLD_NEXT, #name);                                             \
        return real(dir, path, flags | O_NOCTTY, mode);                                            \
    }

SHIM_OPEN(open)
SHIM_OPEN(open64)
SHIM_OPENAT(openat)
SHIM_OPENAT(openat64)
