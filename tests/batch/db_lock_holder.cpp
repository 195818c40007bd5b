// Holds a lock on an encrypted database from another process, as a second program would, until its
// standard input closes, or for MILLISECONDS when given. "shared" lets others write but not commit;
// "exclusive" shuts them out. Prints "locked" once the lock is held.
#include "core/TDBSession.h"

#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {
struct DbCloser
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3 || argc > 4 || (std::strcmp(argv[2], "shared") != 0 && std::strcmp(argv[2], "exclusive") != 0)) {
        std::fprintf(stderr, "usage: db_lock_holder DATABASE shared|exclusive [MILLISECONDS]\n");
        return 2;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(argv[1], &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    if (rc != SQLITE_OK)
        return 1;
    const QByteArray& key = TDBSession::Key;
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    const bool shared = std::strcmp(argv[2], "shared") == 0;
    const char* lock = shared ? "BEGIN; SELECT count(*) FROM Users;" : "BEGIN EXCLUSIVE;";
    char* error = nullptr;
    if (sqlite3_exec(raw, lock, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "db_lock_holder: %s\n", error ? error : "lock failed");
        sqlite3_free(error);
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    if (argc == 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    } else {
        while (std::fgetc(stdin) != EOF) {
        }
    }
    sqlite3_exec(raw, "ROLLBACK;", nullptr, nullptr, nullptr);
    return 0;
}
