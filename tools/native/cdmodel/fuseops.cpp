// cdmodelfs's FUSE operations: each answers from the scanned tree, timed as a Request that reads what the disc would.
#include "cdmodelfs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cdmodelfs {

namespace {
const Node* FindNode(const char* path) {
    auto it = g.nodes.find(path);
    return it == g.nodes.end() ? nullptr : &it->second;
}

// A directory's records come from its extent; the root's own record lives in the
// volume descriptor (sector 16).
void ReadDirectoryRecords(Request& r, const std::string& dir) {
    if (dir.empty()) {
        r.Access(16, 1, kSectorBytes);
        return;
    }
    const LayoutEntry* e = g.layout.Find(dir);
    if (e && e->isDir) r.Access(e->extent.start, e->extent.sectors, e->extent.sectors * kSectorBytes);
}

void FillStat(const char* path, const Node& n, struct stat* st) {
    *st = n.st;
    st->st_mode = (n.st.st_mode & S_IFMT) | (n.isDir ? 0555 : 0444);
    st->st_nlink = n.isDir ? 2 : 1;
    st->st_blksize = kSectorBytes;
    if (n.isDir) {
        const LayoutEntry* e = g.layout.Find(path);
        if (e) st->st_size = static_cast<off_t>(e->size);
    }
    st->st_blocks = (st->st_size + 511) / 512;
}
}  // namespace

void* OpInit(struct fuse_conn_info*, struct fuse_config* cfg) {
    // Every data read, directory listing and stat must reach the model: no page
    // cache, no attribute cache. Names resolved along a path are kept for
    // `--entry-timeout` seconds, as an operating system keeps the directories it
    // walked through: otherwise each stat deep in the tree would re-read every
    // directory on its path, a cost no real walk pays.
    cfg->direct_io = 1;
    cfg->kernel_cache = 0;
    cfg->auto_cache = 0;
    cfg->attr_timeout = 0;
    cfg->entry_timeout = g.entryTimeout;
    cfg->negative_timeout = 0;
    return nullptr;
}

int OpGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    Request r("getattr", path);
    const Node* n = FindNode(path);
    // fstat of an open file needs no disc access: the record was read at open.
    if (!fi) ReadDirectoryRecords(r, std::strcmp(path, "/") == 0 ? std::string() : Layout::Parent(path));
    if (!n) return r.Finish(-ENOENT);
    FillStat(path, *n, st);
    return r.Finish(0);
}

int OpAccess(const char* path, int mask) {
    Request r("access", path);
    if (!FindNode(path)) return r.Finish(-ENOENT);
    return r.Finish(mask & W_OK ? -EROFS : 0);
}

int OpOpendir(const char* path, struct fuse_file_info*) {
    Request r("opendir", path);
    const Node* n = FindNode(path);
    if (!n) return r.Finish(-ENOENT);
    return r.Finish(n->isDir ? 0 : -ENOTDIR);
}

int OpReaddir(const char* path, void* buf, fuse_fill_dir_t filler, off_t, struct fuse_file_info*,
              enum fuse_readdir_flags) {
    Request r("readdir", path);
    const LayoutEntry* e = g.layout.Find(path);
    if (!e || !e->isDir) return r.Finish(-ENOENT);
    ReadDirectoryRecords(r, path);
    filler(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    filler(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const std::string& name : e->children)
        filler(buf, name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return r.Finish(0);
}

int OpReleasedir(const char* path, struct fuse_file_info*) {
    Request r("releasedir", path ? path : "");
    return r.Finish(0);
}

int OpOpen(const char* path, struct fuse_file_info* fi) {
    Request r("open", path);
    const Node* n = FindNode(path);
    if (!n) return r.Finish(-ENOENT);
    if (n->isDir) return r.Finish(-EISDIR);
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return r.Finish(-EROFS);
    int fd = open(n->source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return r.Finish(-errno);
    fi->fh = static_cast<uint64_t>(fd);
    fi->direct_io = 1;
    fi->keep_cache = 0;
    return r.Finish(0);
}

int OpRead(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
    Request r("read", path ? path : "");
    r.Range(offset, static_cast<int64_t>(size));
    const LayoutEntry* e = path ? g.layout.Find(path) : nullptr;
    if (!e || e->isDir || offset < 0) return r.Finish(offset < 0 ? -EINVAL : -EIO);
    // Bytes past the size recorded at mount are not on the disc.
    uint64_t want = offset >= static_cast<off_t>(e->size) ? 0
                    : std::min<uint64_t>(size, e->size - static_cast<uint64_t>(offset));
    Extent ext = FileSectors(*e, static_cast<uint64_t>(offset), want);
    r.Access(ext.start, ext.sectors, static_cast<int64_t>(want));
    size_t done = 0;
    while (done < want) {
        ssize_t n = pread(static_cast<int>(fi->fh), buf + done, want - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return r.Finish(-EIO);
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return r.Finish(static_cast<int>(done));
}

int OpFlush(const char* path, struct fuse_file_info*) {
    Request r("flush", path ? path : "");
    return r.Finish(0);
}

int OpRelease(const char* path, struct fuse_file_info* fi) {
    Request r("release", path ? path : "");
    close(static_cast<int>(fi->fh));
    return r.Finish(0);
}

int OpStatfs(const char* path, struct statvfs* sv) {
    Request r("statfs", path);
    std::memset(sv, 0, sizeof *sv);
    sv->f_bsize = kSectorBytes;
    sv->f_frsize = kSectorBytes;
    sv->f_blocks = static_cast<fsblkcnt_t>(g.layout.TotalSectors());
    sv->f_files = static_cast<fsfilcnt_t>(g.nodes.size());
    sv->f_namemax = 255;
    sv->f_flag = ST_RDONLY;
    return r.Finish(0);
}

// A pressed disc carries no extended attributes.
int OpGetxattr(const char* path, const char*, char*, size_t) {
    Request r("getxattr", path);
    return r.Finish(FindNode(path) ? -ENODATA : -ENOENT);
}

int OpListxattr(const char* path, char*, size_t) {
    Request r("listxattr", path);
    return r.Finish(FindNode(path) ? 0 : -ENOENT);
}

int OpSetxattr(const char* path, const char*, const char*, size_t, int) {
    Request r("setxattr", path);
    return r.Finish(-EROFS);
}

int OpRemovexattr(const char* path, const char*) {
    Request r("removexattr", path);
    return r.Finish(-EROFS);
}

void OpDestroy(void*) {
    if (g.log) std::fclose(g.log);
    g.log = nullptr;
}

}  // namespace cdmodelfs
