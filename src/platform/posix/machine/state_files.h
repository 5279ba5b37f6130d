// Opening the files of a state directory. The directory may be shared with
// other users, so a name there is never trusted: a planted symbolic link, a
// directory or device, or a file of an untrusted owner is refused instead
// of being followed, truncated or written.
#ifndef VK_PLATFORM_POSIX_MACHINE_STATE_FILES_H
#define VK_PLATFORM_POSIX_MACHINE_STATE_FILES_H

#include "kernel/win32.h"

#include <sys/stat.h>

#include <string>

#include "machine/system_root.h"

namespace vk_posix {

// Whether a state file of this owner may be used: one of this process's
// effective user, of root, or of the owner of the directory it lies in
// (who could replace it anyway); or, in a directory that its group may
// write and others may not (the machine store), one of that group, which
// only a member or root could have made.
bool TrustedStateOwner(const struct stat& file, const std::string& directory);

// Opens (with O_CREAT in flags, creates with exactly `mode`, whatever the
// umask, and gives a new file `group` unless it is -1) a regular file of a
// trusted owner, never following a symbolic link, close-on-exec. Returns
// the descriptor, or -1 with the Win32 code in *error: ERROR_ACCESS_DENIED
// for a link, another type or a foreign owner.
int OpenStateFile(const std::string& directory, const std::string& name, int flags, mode_t mode, DWORD* error,
                  gid_t group = static_cast<gid_t>(-1));

// Checks the name where a store's database should be before SQLite opens
// it: missing (to be made) or a non-empty regular file of a trusted owner.
// A link, another type, a foreign owner or an empty file is refused with
// `notAStore`: an empty database is never silently made anew.
LONG CheckDatabaseFile(const std::string& directory, const std::string& name, LONG notAStore);

// The same for a file SQLite keeps beside a database (its WAL and shared
// memory), which may be empty.
LONG CheckCompanionFile(const std::string& directory, const std::string& name, LONG notAStore);

// A live file of the shared machine store (machine_layout.h) as the
// library uses it: a regular file of root and the store's group, with
// exactly the machine's file mode and no other hard link. Its directory is
// root's alone, so what is checked by name stays what the name opens.
bool IsLiveFile(const struct stat& status, gid_t group);
// The same by name, before SQLite opens it: ERROR_FILE_NOT_FOUND when it is
// missing (only setup makes these), ERROR_ACCESS_DENIED when it is not such
// a file.
LONG CheckLiveFile(const StoreLocation& where, const std::string& name);
// Opens a live file, never following a link and never blocking on a FIFO,
// and checks what it opened; -1 with the Win32 code in *error.
int OpenLiveFile(const StoreLocation& where, const std::string& name, int flags, DWORD* error);

// Opens a copy published for the readers who may not write the shared
// machine store: a regular file with the published mode and one link, of
// root or the group (who alone may put one there), never through a link;
// -1 with ERROR_FILE_NOT_FOUND while none is published, ERROR_ACCESS_DENIED
// for anything else.
int OpenPublishedCopy(const StoreLocation& where, const std::string& name, DWORD* error);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_STATE_FILES_H
