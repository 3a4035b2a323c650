// Safe reading and atomic writing of the program's files (see textfile.h).
#include "platform/textfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

SaveStepHook g_saveStepHook = nullptr;

void Reached(SaveStep step)
{
    if (g_saveStepHook)
        g_saveStepHook(step);
}

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    // Closes now; errno of a failed close, or 0.
    int reset()
    {
        int error = 0;
        if (fd_ >= 0 && ::close(fd_) != 0)
            error = errno;
        fd_ = -1;
        return error;
    }

private:
    int fd_;
};

int WriteAll(int fd, std::string_view data)
{
    const char *p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string DirectoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The rule the kernel applies to links in shared folders (protected
// symlinks): a link in a sticky, world-writable folder is followed only when
// it belongs to the user or to the folder's owner. Resolving a link by hand
// must not bypass it.
bool MayFollow(const std::string &link, const struct stat &linkStat)
{
    struct stat dir {};
    if (::stat(DirectoryOf(link).c_str(), &dir) != 0)
        return false;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return !shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == dir.st_uid;
}

// Follows `path` through its links to the file they name. `exists` tells
// whether that file exists (it may not: a new file, or a dangling link),
// and `st` holds its status when it does.
int ResolveTarget(const std::string &path, Links links, std::string &target, bool &exists, struct stat &st)
{
    target = path;
    for (int depth = 0; depth < 40; ++depth) {
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return errno;
            exists = false;
            return 0;
        }
        if (S_ISLNK(st.st_mode) && links == Links::Replace) {
            exists = false; // the link goes; what it names is not ours
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            return S_ISREG(st.st_mode) ? 0 : FileNotRegular;
        }
        if (!MayFollow(target, st))
            return FileLinkRefused;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOENT;
        std::string next(buf, static_cast<std::size_t>(n));
        if (next.front() != '/')
            next = DirectoryOf(target) + "/" + next;
        target = next;
    }
    return ELOOP;
}

// A name no one can guess, beside `target`, created exclusively.
int CreateTemporary(const std::string &target, mode_t mode, std::string &name, int &fd)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::string stem = DirectoryOf(target) + "/." + BaseName(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[12];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return errno != 0 ? errno : EIO;
        name = stem;
        for (unsigned char r : random)
            name += kLetters[r % (sizeof kLetters - 1)];
        name += ".tmp";
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

} // namespace

void SetSaveStepHook(SaveStepHook hook) { g_saveStepHook = hook; }

std::string FileErrorText(int error)
{
    switch (error) {
    case 0:
        return {};
    case FileNotRegular:
        return "not a regular file";
    case FileTooLarge:
        return "file too large";
    case FileLinkRefused:
        return "link in a shared folder not followed";
    default:
        return std::strerror(error);
    }
}

int ReadTextFile(const std::string &path, std::size_t limit, std::string &out)
{
    out.clear();
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return FileNotRegular;
    if (static_cast<unsigned long long>(st.st_size) > limit)
        return FileTooLarge;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            out.clear();
            return error;
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<std::size_t>(n) > limit) { // grew while being read
            out.clear();
            return FileTooLarge;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return 0;
}

int WriteTextFile(const std::string &path, std::string_view content, Links links)
{
    if (path.empty())
        return ENOENT;
    std::string target;
    bool exists = false;
    struct stat st {};
    if (const int error = ResolveTarget(path, links, target, exists, st))
        return error;
    // A file the user may not write stays as it is, as an open for writing
    // would have left it.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return errno;

    std::string temporary;
    int created = -1;
    // A new file gets the usual permissions (the umask applies); an existing
    // one keeps its own, set before any content is written.
    if (const int error = CreateTemporary(target, exists ? 0600 : 0666, temporary, created))
        return error;
    Fd fd(created);
    Reached(SaveStep::Opened);
    int error = 0;
    if (exists) {
        if (::fchmod(fd.get(), st.st_mode & 07777) != 0)
            error = errno;
        // The group, where the user may set it; the owner is the user anyway.
        if (error == 0 && st.st_gid != ::getegid())
            (void)!::fchown(fd.get(), static_cast<uid_t>(-1), st.st_gid);
    }
    if (error == 0)
        error = WriteAll(fd.get(), content);
    Reached(SaveStep::Written);
    if (error == 0 && ::fsync(fd.get()) != 0)
        error = errno;
    Reached(SaveStep::Synced);
    if (const int closed = fd.reset(); error == 0)
        error = closed;
    Reached(SaveStep::Closed);
    if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    Reached(SaveStep::Renamed);
    // The new name on disk too; a folder that cannot be flushed is no error.
    Fd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return 0;
}

int WriteTextLines(const std::string &path, const std::vector<std::string> &lines, LineEnd end, Links links)
{
    const std::string_view eol = end == LineEnd::CrLf ? "\r\n" : "\n";
    std::size_t size = 0;
    for (const std::string &l : lines)
        size += l.size() + eol.size();
    std::string text;
    text.reserve(size);
    for (const std::string &l : lines) {
        text += l;
        text += eol;
    }
    return WriteTextFile(path, text, links);
}

int CreateNewTextFile(const std::string &path, std::string_view content)
{
    if (path.empty())
        return ENOENT;
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        return errno;
    int error = WriteAll(fd.get(), content);
    if (error == 0 && ::fsync(fd.get()) != 0)
        error = errno;
    if (const int closed = fd.reset(); error == 0)
        error = closed;
    if (error != 0)
        ::unlink(path.c_str());
    return error;
}

} // namespace platform
