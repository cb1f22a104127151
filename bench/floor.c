// The system-call floor of a folder scan on Linux: two threads walking a tree with exactly the calls
// spadrim-cli's walker makes per folder and per entry, and nothing else between them. Per folder: openat
// relative to its parent's open folder (O_DIRECTORY), fstat for the folder's id, getdents64 until it
// returns 0, close. Per entry: statx without following links (type, size, blocks, modified time) and,
// for a symbolic link, one fstatat of its target. The threads share one stack of folders still to be
// listed, pushed once per listed folder under one lock, as the walker does. No tree is built: the
// difference between spadrim-cli and this is what the scan itself costs beyond its system calls.
//
//   floor FOLDER   prints "files N folders N bytes N" counted as spadrim-cli counts them: files are
//                  entries that are not folders (links to files too, not links to folders), folders those
//                  listed (the root included), bytes the files' sizes, each at most its allocated blocks.
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { THREADS = 2, BUFFER = 64 * 1024 };

// An open folder, kept open while subfolders of it wait to be opened relative to it.
struct folder {
    int fd;
    atomic_int holders;
};

struct work {
    struct folder* parent;  // NULL for the root, whose name is then its path
    char* name;
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
static struct work* stack;
static size_t stack_size, stack_capacity;
static unsigned active;
static int done;
static atomic_uint_fast64_t files, folders, bytes;

struct dirent64_record {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

static void release(struct folder* folder) {
    if (folder && atomic_fetch_sub(&folder->holders, 1) == 1) {
        close(folder->fd);
        free(folder);
    }
}

static void push_locked(struct work item) {
    if (stack_size == stack_capacity) {
        stack_capacity = stack_capacity ? stack_capacity * 2 : 1024;
        stack = realloc(stack, stack_capacity * sizeof *stack);
        if (!stack) abort();
    }
    stack[stack_size++] = item;
}

static int take(struct work* item) {
    pthread_mutex_lock(&lock);
    for (;;) {
        if (done) break;
        if (stack_size) {
            *item = stack[--stack_size];
            ++active;
            pthread_mutex_unlock(&lock);
            return 1;
        }
        if (active == 0) {
            done = 1;
            pthread_cond_broadcast(&changed);
            break;
        }
        pthread_cond_wait(&changed, &lock);
    }
    pthread_mutex_unlock(&lock);
    return 0;
}

// Lists one folder; its subfolders go to `found`.
static void list(struct work item, char* buffer, struct work** found, size_t* found_size, size_t* found_capacity) {
    const int fd = openat(item.parent ? item.parent->fd : AT_FDCWD, item.name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    release(item.parent);
    free(item.name);
    if (fd < 0) return;
    struct stat own;
    if (fstat(fd, &own) != 0) {
        close(fd);
        return;
    }
    struct folder* self = malloc(sizeof *self);
    self->fd = fd;
    atomic_init(&self->holders, 1);
    uint64_t my_files = 0, my_bytes = 0;
    for (;;) {
        const long got = syscall(SYS_getdents64, fd, buffer, BUFFER);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            const struct dirent64_record* record = (const struct dirent64_record*)(buffer + at);
            at += record->d_reclen;
            const char* name = record->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            struct statx st;
            if (statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                      STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_MTIME, &st) != 0)
                continue;
            if (S_ISLNK(st.stx_mode)) {
                struct stat target;
                if (!(fstatat(fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode))) ++my_files;
            } else if (S_ISDIR(st.stx_mode)) {
                if ((st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (st.stx_attributes & STATX_ATTR_MOUNT_ROOT))
                    continue;  // another file system: not entered
                if (*found_size == *found_capacity) {
                    *found_capacity = *found_capacity ? *found_capacity * 2 : 64;
                    *found = realloc(*found, *found_capacity * sizeof **found);
                    if (!*found) abort();
                }
                atomic_fetch_add(&self->holders, 1);
                (*found)[(*found_size)++] = (struct work){self, strdup(name)};
            } else {
                ++my_files;
                const uint64_t allocated = st.stx_blocks * 512;
                my_bytes += allocated < st.stx_size ? allocated : st.stx_size;
            }
        }
    }
    release(self);
    atomic_fetch_add(&files, my_files);
    atomic_fetch_add(&bytes, my_bytes);
    atomic_fetch_add(&folders, 1);
}

static void* worker(void* unused) {
    (void)unused;
    char* buffer = malloc(BUFFER);
    struct work* found = NULL;
    size_t found_size = 0, found_capacity = 0;
    struct work item;
    while (take(&item)) {
        found_size = 0;
        list(item, buffer, &found, &found_size, &found_capacity);
        pthread_mutex_lock(&lock);
        for (size_t i = 0; i < found_size; ++i)
            push_locked(found[i]);
        --active;
        pthread_cond_broadcast(&changed);
        pthread_mutex_unlock(&lock);
    }
    free(found);
    free(buffer);
    return NULL;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: floor FOLDER\n");
        return 2;
    }
    push_locked((struct work){NULL, strdup(argv[1])});
    pthread_t threads[THREADS];
    for (int i = 0; i < THREADS; ++i)
        pthread_create(&threads[i], NULL, worker, NULL);
    for (int i = 0; i < THREADS; ++i)
        pthread_join(threads[i], NULL);
    printf("files %llu folders %llu bytes %llu\n", (unsigned long long)files, (unsigned long long)folders,
           (unsigned long long)bytes);
    free(stack);
    return 0;
}
