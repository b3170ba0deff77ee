#include "foundation/UserFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0) {
        const int saved = errno;
        ::close(m_fd);
        errno = saved;
    }
    m_fd = fd;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

UniqueFd openParentFolder(const std::string& path, std::string& base)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
    return UniqueFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFd openRegularFileAt(int folder, const std::string& name, struct stat& info)
{
    UniqueFd file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return file;
    if (::fstat(file.get(), &info) != 0)
        return UniqueFd();
    if (!S_ISREG(info.st_mode)) {
        file.reset();
        errno = EINVAL;
        return file;
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return UniqueFd();
    return file;
}

UniqueFd openRegularFile(const std::string& path, struct stat& info)
{
    std::string base;
    const UniqueFd folder = openParentFolder(path, base);
    if (folder.get() < 0)
        return UniqueFd();
    return openRegularFileAt(folder.get(), base, info);
}

bool readRegularFileAt(int folder, const std::string& name, size_t limit, std::string& text)
{
    struct stat info {};
    const UniqueFd file = openRegularFileAt(folder, name, info);
    if (file.get() < 0)
        return false;
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        errno = EFBIG;
        return false;
    }
    std::string read;
    read.reserve(static_cast<size_t>(info.st_size));
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (read.size() + static_cast<size_t>(n) > limit) {
            errno = EFBIG;
            return false;
        }
        read.append(buffer, static_cast<size_t>(n));
    }
    text.swap(read);
    return true;
}

bool readRegularFile(const std::string& path, size_t limit, std::string& text)
{
    std::string base;
    const UniqueFd folder = openParentFolder(path, base);
    if (folder.get() < 0)
        return false;
    return readRegularFileAt(folder.get(), base, limit, text);
}
