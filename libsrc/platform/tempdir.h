// The temporary directory, private temporary files, and files with
// predictable names (traces, logs) opened without following symbolic links.
#ifndef QMR_PLATFORM_TEMPDIR_H
#define QMR_PLATFORM_TEMPDIR_H

#include <cstdio>
#include <string>

namespace plat {

// $TMPDIR when set and not empty, else /tmp; never ends with '/' (except "/").
std::string temp_dir();

// Creates a new file in temp_dir(), readable and writable by the owner only
// (0600), and removes its name at once, so it vanishes when the last
// descriptor closes and nobody else can open it. The prefix starts the
// name. Returns the descriptor (read-write, close-on-exec) or -1 with errno.
int create_temp_file(const char* prefix = "qmrtmp");

// The same for a name the caller made: the file must not exist yet
// (O_EXCL, no symbolic link followed); unlinked as soon as it is open.
int create_named_temp_file(const std::string& path);
// The same as a read-write binary stdio stream; null with errno (EEXIST
// when the name is taken). Nothing stays open when the stream cannot be made.
FILE* open_named_temp_stream(const std::string& path);

enum class OpenMode { Append, Truncate };

// Opens a file with a predictable name for writing, creating it with mode
// 0600. A symbolic link as the last path element is refused (ELOOP), and
// so is anything but a regular file or a character device (/dev/null,
// a terminal): a FIFO would block the writer. Returns the descriptor or -1 with errno.
int open_private_file(const std::string& path, OpenMode mode);
// The same as a stdio stream ("a" or "w" semantics); null with errno.
FILE* open_private_stream(const std::string& path, OpenMode mode);

}  // namespace plat

#endif
