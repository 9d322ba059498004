#include "data/read_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace korvan {

FileText ReadWholeFile(const std::string& path) {
    FileText file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        file.error = errno;
        return file;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            file.text.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            file.error = errno;
            file.text.clear();
            break;
        }
    }
    ::close(fd);
    return file;
}

}  // namespace korvan
