// Preloaded into Wine's processes for the serial tests: answers the modem-line ioctls on a
// pseudo-terminal, which has no such lines. Without it Wine fails every WaitCommEvent on a
// pseudo-terminal, because it reads the lines when the wait begins. Any other descriptor
// and request goes to the real ioctl unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
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
