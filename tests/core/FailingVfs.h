#pragma once

// A file layer in front of SQLite's own that fails chosen writes, as a full disk, a pulled cable or
// a crash in the middle of a commit would. While it lives it is SQLite's default, so every
// connection the code under test opens goes through it.

class FailingVfs
{
public:
    enum class Target
    {
        Database, ///< the database file itself
        Journal,  ///< its rollback journal
    };
    /// Every write from the fault on fails until disarm(): the program died there.
    static constexpr int UntilDisarmed = -1;

    FailingVfs();
    ~FailingVfs();
    FailingVfs(const FailingVfs&) = delete;
    FailingVfs& operator=(const FailingVfs&) = delete;

    /// From the nth write to target on (counted from now, 1-based), fail count writes; with diskFull
    /// they fail as on a full disk (SQLITE_FULL, as the engine reports ENOSPC) instead of an I/O error.
    void failWrites(Target target, int nth, int count, bool diskFull = false);
    /// Lets every write through again.
    void disarm();
    /// How many writes failed since the last failWrites.
    int failures() const;
};
