#include "tests/core/FailingVfs.h"

#include <sqlcipher/sqlite3.h>

namespace {

struct Fault
{
    bool armed = false;
    int flag = 0;
    int nth = 0;
    int count = 0;
    int seen = 0;
    int failed = 0;
    int result = SQLITE_IOERR_WRITE;
};

Fault g_fault;
sqlite3_vfs* g_base = nullptr;
sqlite3_vfs g_vfs{};

/// Our file: the open flags in front of the base layer's own file, which follows it in memory.
struct WrappedFile
{
    sqlite3_file base;
    int openFlags;
    sqlite3_file* inner() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_file* inner(sqlite3_file* file)
{
    return reinterpret_cast<WrappedFile*>(file)->inner();
}

int xWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset)
{
    if (g_fault.armed && (reinterpret_cast<WrappedFile*>(file)->openFlags & g_fault.flag)) {
        ++g_fault.seen;
        if (g_fault.seen >= g_fault.nth && (g_fault.count < 0 || g_fault.failed < g_fault.count)) {
            ++g_fault.failed;
            return g_fault.result;
        }
    }
    return inner(file)->pMethods->xWrite(inner(file), data, amount, offset);
}

int xClose(sqlite3_file* file)
{
    return inner(file)->pMethods->xClose(inner(file));
}
int xRead(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset)
{
    return inner(file)->pMethods->xRead(inner(file), data, amount, offset);
}
int xTruncate(sqlite3_file* file, sqlite3_int64 size)
{
    return inner(file)->pMethods->xTruncate(inner(file), size);
}
int xSync(sqlite3_file* file, int flags)
{
    return inner(file)->pMethods->xSync(inner(file), flags);
}
int xFileSize(sqlite3_file* file, sqlite3_int64* size)
{
    return inner(file)->pMethods->xFileSize(inner(file), size);
}
int xLock(sqlite3_file* file, int level)
{
    return inner(file)->pMethods->xLock(inner(file), level);
}
int xUnlock(sqlite3_file* file, int level)
{
    return inner(file)->pMethods->xUnlock(inner(file), level);
}
int xCheckReservedLock(sqlite3_file* file, int* out)
{
    return inner(file)->pMethods->xCheckReservedLock(inner(file), out);
}
int xFileControl(sqlite3_file* file, int op, void* arg)
{
    return inner(file)->pMethods->xFileControl(inner(file), op, arg);
}
int xSectorSize(sqlite3_file* file)
{
    return inner(file)->pMethods->xSectorSize(inner(file));
}
int xDeviceCharacteristics(sqlite3_file* file)
{
    return inner(file)->pMethods->xDeviceCharacteristics(inner(file));
}

// Only the version-1 methods: SQLite then keeps to rollback journals and plain reads, which is
// all a database in the default journal mode uses.
const sqlite3_io_methods g_methods = {
    1,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    auto* wrapped = reinterpret_cast<WrappedFile*>(file);
    wrapped->base.pMethods = nullptr;
    wrapped->openFlags = flags;
    const int rc = g_base->xOpen(g_base, name, wrapped->inner(), flags, outFlags);
    if (rc == SQLITE_OK)
        wrapped->base.pMethods = &g_methods;
    return rc;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir)
{
    return g_base->xDelete(g_base, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out)
{
    return g_base->xAccess(g_base, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int size, char* out)
{
    return g_base->xFullPathname(g_base, name, size, out);
}

} // namespace

FailingVfs::FailingVfs()
{
    g_base = sqlite3_vfs_find(nullptr);
    g_vfs = *g_base;
    g_vfs.zName = "failing";
    g_vfs.szOsFile = static_cast<int>(sizeof(WrappedFile)) + g_base->szOsFile;
    g_vfs.pNext = nullptr;
    g_vfs.xOpen = xOpen;
    g_vfs.xDelete = xDelete;
    g_vfs.xAccess = xAccess;
    g_vfs.xFullPathname = xFullPathname;
    sqlite3_vfs_register(&g_vfs, 1);
    g_fault = Fault{};
}

FailingVfs::~FailingVfs()
{
    sqlite3_vfs_unregister(&g_vfs);
    g_fault = Fault{};
}

void FailingVfs::failWrites(Target target, int nth, int count, bool diskFull)
{
    g_fault = Fault{true,
                    target == Target::Database ? SQLITE_OPEN_MAIN_DB : SQLITE_OPEN_MAIN_JOURNAL,
                    nth,
                    count,
                    0,
                    0,
                    diskFull ? SQLITE_FULL : SQLITE_IOERR_WRITE};
}

void FailingVfs::disarm()
{
    g_fault.armed = false;
}

int FailingVfs::failures() const
{
    return g_fault.failed;
}
