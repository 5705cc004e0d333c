#include "BigArray.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ondril::pages {

#ifdef Q_OS_WIN

// The address range an array may grow into, reserved (not committed) at its
// first value: 64 GiB of a 128 TiB address space, so that it never moves.
constexpr size_t reach = size_t(64) << 30;

size_t size()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void *grow(void *old, size_t, size_t bytes)
{
    if (bytes > reach)
        return nullptr;
    void *p = old ? old : VirtualAlloc(nullptr, reach, MEM_RESERVE, PAGE_NOACCESS);
    if (p && VirtualAlloc(p, bytes, MEM_COMMIT, PAGE_READWRITE))
        return p;
    if (p && !old)
        VirtualFree(p, 0, MEM_RELEASE);
    return nullptr;
}

void release(void *p, size_t)
{
    VirtualFree(p, 0, MEM_RELEASE);
}

void discard(void *p, size_t bytes)
{
    VirtualAlloc(p, bytes, MEM_RESET, PAGE_READWRITE);
}

#else

size_t size()
{
    return size_t(sysconf(_SC_PAGESIZE));
}

void *grow(void *old, size_t oldBytes, size_t bytes)
{
    void *p = old ? mremap(old, oldBytes, bytes, MREMAP_MAYMOVE)
                  : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void release(void *p, size_t bytes)
{
    munmap(p, bytes);
}

void discard(void *p, size_t bytes)
{
    madvise(p, bytes, MADV_DONTNEED);
}

#endif

} // namespace ondril::pages
