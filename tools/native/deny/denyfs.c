// denyfs: serves a folder read-only over FUSE; a file or folder without read permission bits cannot be opened.
//   denyfs SRC MOUNT [fuse options]   (e.g. -f to stay in the foreground)
// Wine here runs as root, and root ignores chmod 000 on an ordinary file system; behind this mount the
// refusal (EACCES) comes from the file system itself, so it holds for root too. Listing the parent still
// shows the entry with its size, as a disc with an unreadable file or folder would.
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static char g_source[PATH_MAX];

static int Source(const char* path, char* out)
{
    if (snprintf(out, PATH_MAX, "%s%s", g_source, path) >= PATH_MAX)
        return -ENAMETOOLONG;
    return 0;
}

static int GetAttr(const char* path, struct stat* st, struct fuse_file_info* fi)
{
    (void)fi;
    char real[PATH_MAX];
    int rc = Source(path, real);
    if (rc)
        return rc;
    if (lstat(real, st) != 0)
        return -errno;
    st->st_mode &= ~0222;  // a disc: nothing is writable
    return 0;
}

static int Refused(const char* real, mode_t bits)
{
    struct stat st;
    if (lstat(real, &st) != 0)
        return -errno;
    return (st.st_mode & bits) == 0 ? -EACCES : 0;
}

static int OpenDir(const char* path, struct fuse_file_info* fi)
{
    char real[PATH_MAX];
    int rc = Source(path, real);
    if (rc || (rc = Refused(real, 0444)))
        return rc;
    DIR* dir = opendir(real);
    if (!dir)
        return -errno;
    fi->fh = (uint64_t)(uintptr_t)dir;
    return 0;
}

static int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info* fi,
                   enum fuse_readdir_flags flags)
{
    (void)path;
    (void)offset;
    (void)flags;
    DIR* dir = (DIR*)(uintptr_t)fi->fh;
    rewinddir(dir);
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = entry->d_ino;
        st.st_mode = (mode_t)DTTOIF(entry->d_type);
        if (fill(buf, entry->d_name, &st, 0, 0))
            break;
    }
    return 0;
}

static int ReleaseDir(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    closedir((DIR*)(uintptr_t)fi->fh);
    return 0;
}

static int Open(const char* path, struct fuse_file_info* fi)
{
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    char real[PATH_MAX];
    int rc = Source(path, real);
    if (rc || (rc = Refused(real, 0444)))
        return rc;
    int fd = open(real, O_RDONLY);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int Read(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi)
{
    (void)path;
    ssize_t got = pread((int)fi->fh, buf, size, offset);
    return got < 0 ? -errno : (int)got;
}

static int Release(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int StatFs(const char* path, struct statvfs* st)
{
    (void)path;
    return statvfs(g_source, st) != 0 ? -errno : 0;
}

static int ReadLink(const char* path, char* buf, size_t size)
{
    char real[PATH_MAX];
    int rc = Source(path, real);
    if (rc)
        return rc;
    ssize_t n = readlink(real, buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

static const struct fuse_operations kOperations = {
    .getattr = GetAttr,
    .readlink = ReadLink,
    .open = Open,
    .read = Read,
    .statfs = StatFs,
    .release = Release,
    .opendir = OpenDir,
    .readdir = ReadDir,
    .releasedir = ReleaseDir,
};

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: denyfs SRC MOUNT [fuse options]\n");
        return 2;
    }
    if (!realpath(argv[1], g_source)) {
        perror(argv[1]);
        return 1;
    }
    // FUSE takes the mount point and its options; the source is ours.
    char* args[64];
    int n = 0;
    args[n++] = argv[0];
    for (int i = 2; i < argc && n < 60; ++i)
        args[n++] = argv[i];
    args[n++] = "-o";
    args[n++] = "ro";
    return fuse_main(n, args, &kOperations, NULL);
}
