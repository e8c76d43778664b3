#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string directory_of(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

BOOL fail(const std::string& what, std::string* error)
{
    *error = what + ": " + std::strerror(errno);
    return FALSE;
}

BOOL write_whole(int descriptor, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
        if (written < 0 && errno != EINTR) {
            return FALSE;
        }
        done += written > 0 ? static_cast<size_t>(written) : 0;
    }
    return TRUE;
}

// The rename is durable only once the directory itself is flushed.
void flush_directory(const std::string& directory)
{
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

}  // namespace

BOOL replace_file_atomically(const std::string& path, const std::string& text, std::string* error)
{
    const std::string directory = directory_of(path);
    const std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    // A leading dot keeps the temporary file out of node_exporter's *.prom glob.
    std::string temporary = directory + "/." + base + ".XXXXXX";
    const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        return fail("cannot create a file in " + directory, error);
    }
    const BOOL written = write_whole(descriptor, text) && fchmod(descriptor, 0644) == 0 && fsync(descriptor) == 0;
    const int saved = errno;
    close(descriptor);
    if (!written) {
        unlink(temporary.c_str());
        errno = saved;
        return fail("cannot write " + temporary, error);
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int rename_error = errno;
        unlink(temporary.c_str());
        errno = rename_error;
        return fail("cannot rename " + temporary + " to " + path, error);
    }
    flush_directory(directory);
    return TRUE;
}
