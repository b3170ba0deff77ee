#pragma once
// Files in a folder that another user may control (a root run with HOME in
// a user's folder): the folder is never entered through a symbolic link as
// its last component, a file is never opened through one, nothing blocks on
// a FIFO, and only regular files of bounded size are read.

#include <sys/stat.h>

#include <cstddef>
#include <string>

// A descriptor closed when it goes.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    void reset(int fd = -1);
    int release();

private:
    int m_fd;
};

// The folder that holds path, as a path descriptor (O_PATH), its last
// component not a link; base receives the file's name in it. Invalid, with
// errno set, when it cannot be opened or is no folder.
UniqueFd openParentFolder(const std::string& path, std::string& base);

// Opens name inside folder for reading, never through a link and without
// blocking, and only when it is a regular file (EINVAL otherwise); info
// receives its status. The descriptor is blocking again when returned.
UniqueFd openRegularFileAt(int folder, const std::string& name, struct stat& info);
UniqueFd openRegularFile(const std::string& path, struct stat& info);

// The whole regular file, when it holds at most limit bytes (EFBIG
// otherwise, also when it grows past limit while it is read). False with
// errno set when it cannot be read.
bool readRegularFileAt(int folder, const std::string& name, size_t limit, std::string& text);
bool readRegularFile(const std::string& path, size_t limit, std::string& text);
