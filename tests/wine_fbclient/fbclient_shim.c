/* A test-only fbclient.dll for Wine: a Wine library (an ELF object Wine loads as a DLL) that
 * forwards the Firebird client calls of a Windows program to the Linux client library, so that
 * the Windows build is tested against a real database. Database names arrive as Windows paths
 * (C:\..., Z:\..., or server:C:\...); their path part is turned into the Unix path the Linux
 * client can open, and the client's messages name the path as the program gave it.
 *
 * Built with winegcc; never shipped. */

#include <windows.h>

#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The client's own types, sized as both sides of the call see them. */
typedef intptr_t ISC_STATUS;
#if defined(__x86_64__)
typedef unsigned int FB_API_HANDLE;
typedef int ISC_LONG;
/* The Linux library's calling convention, as opposed to the Windows one of WINAPI. */
#define LINUX_ABI __attribute__((__sysv_abi__))
#else
typedef void* FB_API_HANDLE;
typedef long ISC_LONG;
#define LINUX_ABI __attribute__((__cdecl__))
#endif

/* The parts of the status vector and the parameter block this file reads. */
enum {
    ArgEnd = 0,
    ArgString = 2,
    ArgCstring = 3,
    ArgInterpreted = 5,
    StatusLength = 20,
    DpbUtf8Filename = 77,
    DpbVersion1 = 1,
};

static void* LinuxClient(void) {
    static void* library;
    if (library == NULL) {
        library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        if (library == NULL) {
            fprintf(stderr, "fbclient shim: cannot load libfbclient.so.2: %s\n", dlerror());
            abort();
        }
    }
    return library;
}

static void* Resolve(const char* name) {
    void* entry = dlsym(LinuxClient(), name);
    if (entry == NULL) {
        fprintf(stderr, "fbclient shim: libfbclient.so.2 has no %s\n", name);
        abort();
    }
    return entry;
}

/* One exported entry point that passes its arguments on unchanged. */
#define FORWARD(result, name, parameters, arguments)                                               \
    typedef result(LINUX_ABI* name##_linux) parameters;                                            \
    result WINAPI Shim_##name parameters {                                                         \
        static name##_linux target;                                                                \
        if (target == NULL)                                                                        \
            target = (name##_linux)Resolve(#name);                                                 \
        return target arguments;                                                                   \
    }

FORWARD(ISC_STATUS, isc_detach_database, (ISC_STATUS * s, FB_API_HANDLE* db), (s, db))
FORWARD(ISC_STATUS, isc_drop_database, (ISC_STATUS * s, FB_API_HANDLE* db), (s, db))
FORWARD(ISC_STATUS, isc_database_info,
        (ISC_STATUS * s, FB_API_HANDLE* db, short itemsLength, const char* items,
         short bufferLength, char* buffer),
        (s, db, itemsLength, items, bufferLength, buffer))
FORWARD(ISC_STATUS, isc_start_multiple,
        (ISC_STATUS * s, FB_API_HANDLE* tr, short count, void* vector), (s, tr, count, vector))
FORWARD(ISC_STATUS, isc_commit_transaction, (ISC_STATUS * s, FB_API_HANDLE* tr), (s, tr))
FORWARD(ISC_STATUS, isc_rollback_transaction, (ISC_STATUS * s, FB_API_HANDLE* tr), (s, tr))
FORWARD(ISC_STATUS, isc_dsql_allocate_statement,
        (ISC_STATUS * s, FB_API_HANDLE* db, FB_API_HANDLE* st), (s, db, st))
FORWARD(ISC_STATUS, isc_dsql_prepare,
        (ISC_STATUS * s, FB_API_HANDLE* tr, FB_API_HANDLE* st, unsigned short length,
         const char* sql, unsigned short dialect, void* sqlda),
        (s, tr, st, length, sql, dialect, sqlda))
FORWARD(ISC_STATUS, isc_dsql_describe,
        (ISC_STATUS * s, FB_API_HANDLE* st, unsigned short version, void* sqlda),
        (s, st, version, sqlda))
FORWARD(ISC_STATUS, isc_dsql_describe_bind,
        (ISC_STATUS * s, FB_API_HANDLE* st, unsigned short version, void* sqlda),
        (s, st, version, sqlda))
FORWARD(ISC_STATUS, isc_dsql_sql_info,
        (ISC_STATUS * s, FB_API_HANDLE* st, short itemsLength, const char* items,
         short bufferLength, char* buffer),
        (s, st, itemsLength, items, bufferLength, buffer))
FORWARD(ISC_STATUS, isc_dsql_execute,
        (ISC_STATUS * s, FB_API_HANDLE* tr, FB_API_HANDLE* st, unsigned short version,
         const void* sqlda),
        (s, tr, st, version, sqlda))
FORWARD(ISC_STATUS, isc_dsql_execute2,
        (ISC_STATUS * s, FB_API_HANDLE* tr, FB_API_HANDLE* st, unsigned short version,
         const void* in, const void* out),
        (s, tr, st, version, in, out))
FORWARD(ISC_STATUS, isc_dsql_execute_immediate,
        (ISC_STATUS * s, FB_API_HANDLE* db, FB_API_HANDLE* tr, unsigned short length,
         const char* sql, unsigned short dialect, const void* sqlda),
        (s, db, tr, length, sql, dialect, sqlda))
FORWARD(ISC_STATUS, isc_dsql_fetch,
        (ISC_STATUS * s, FB_API_HANDLE* st, unsigned short version, const void* sqlda),
        (s, st, version, sqlda))
FORWARD(ISC_STATUS, isc_dsql_free_statement,
        (ISC_STATUS * s, FB_API_HANDLE* st, unsigned short option), (s, st, option))
FORWARD(ISC_STATUS, isc_create_blob2,
        (ISC_STATUS * s, FB_API_HANDLE* db, FB_API_HANDLE* tr, FB_API_HANDLE* blob, void* id,
         short bpbLength, const char* bpb),
        (s, db, tr, blob, id, bpbLength, bpb))
FORWARD(ISC_STATUS, isc_open_blob2,
        (ISC_STATUS * s, FB_API_HANDLE* db, FB_API_HANDLE* tr, FB_API_HANDLE* blob, void* id,
         unsigned short bpbLength, const unsigned char* bpb),
        (s, db, tr, blob, id, bpbLength, bpb))
FORWARD(ISC_STATUS, isc_put_segment,
        (ISC_STATUS * s, FB_API_HANDLE* blob, unsigned short length, const char* bytes),
        (s, blob, length, bytes))
FORWARD(ISC_STATUS, isc_get_segment,
        (ISC_STATUS * s, FB_API_HANDLE* blob, unsigned short* got, unsigned short size,
         char* bytes),
        (s, blob, got, size, bytes))
FORWARD(ISC_STATUS, isc_close_blob, (ISC_STATUS * s, FB_API_HANDLE* blob), (s, blob))
FORWARD(ISC_STATUS, isc_cancel_blob, (ISC_STATUS * s, FB_API_HANDLE* blob), (s, blob))
FORWARD(ISC_LONG, isc_vax_integer, (const char* bytes, short length), (bytes, length))
FORWARD(ISC_LONG, fb_interpret, (char* buffer, unsigned int size, const ISC_STATUS** cursor),
        (buffer, size, cursor))
FORWARD(ISC_LONG, isc_sqlcode, (const ISC_STATUS* s), (s))

/* A database name split where the client splits it: an optional server part ending in a colon
 * (not a drive letter's), then the path. */
struct DatabaseName {
    char* server;      /* "host:" or "host/port:", or empty */
    char* windowsPath; /* the path as the program gave it */
    char* unixPath;    /* the path the Linux client opens; NULL when it stays as given */
};

static char* Duplicate(const char* text, size_t length) {
    char* copy = malloc(length + 1);
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

static int IsDrivePath(const char* path) {
    return ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

static char* Utf8Of(const WCHAR* wide, int length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, NULL, 0, NULL, NULL);
    char* text = malloc((size_t)size + 1);
    WideCharToMultiByte(CP_UTF8, 0, wide, length, text, size, NULL, NULL);
    text[size] = '\0';
    return text;
}

/* The Unix folder of a Windows folder, its links resolved: a prefix's drive C: is reached
 * through dosdevices/c:, and the Linux client would take the colon for a server's. */
static char* UnixFolderOf(const WCHAR* folder) {
    char* mapped = wine_get_unix_file_name(folder);
    if (mapped == NULL)
        return NULL;
    char* resolved = realpath(mapped, NULL);
    HeapFree(GetProcessHeap(), 0, mapped);
    return resolved;
}

/* The Unix path of a drive path, as UTF-8: its folder mapped by Wine, or only its drive when
 * the folder is missing (so that the client's error names the missing folder), then the rest
 * with slashes. NULL when not even the drive is known. */
static char* UnixPathOf(const char* path, int utf8) {
    const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    const int wideLength = MultiByteToWideChar(codePage, 0, path, -1, NULL, 0);
    if (wideLength <= 0)
        return NULL;
    WCHAR* wide = malloc(sizeof(WCHAR) * (size_t)wideLength);
    MultiByteToWideChar(codePage, 0, path, -1, wide, wideLength);
    for (WCHAR* c = wide; *c != 0; ++c) {
        if (*c == '/')
            *c = '\\';
    }
    int restStart = 3;
    for (int i = 0; wide[i] != 0; ++i) {
        if (wide[i] == '\\')
            restStart = i + 1;
    }
    const WCHAR saved = wide[restStart];
    wide[restStart] = 0;
    char* folder = UnixFolderOf(wide);
    wide[restStart] = saved;
    if (folder == NULL) {
        restStart = 3;
        const WCHAR kept = wide[3];
        wide[3] = 0;
        folder = UnixFolderOf(wide);
        wide[3] = kept;
    }
    if (folder == NULL) {
        free(wide);
        return NULL;
    }
    for (WCHAR* c = wide + restStart; *c != 0; ++c) {
        if (*c == '\\')
            *c = '/';
    }
    char* rest = Utf8Of(wide + restStart, lstrlenW(wide + restStart));
    free(wide);
    const size_t folderLength = strlen(folder);
    const int needsSlash = folderLength == 0 || folder[folderLength - 1] != '/';
    char* result = malloc(folderLength + 1 + strlen(rest) + 1);
    strcpy(result, folder);
    if (needsSlash)
        strcat(result, "/");
    strcat(result, rest);
    free(folder);
    free(rest);
    return result;
}

static struct DatabaseName SplitName(const char* name, int utf8) {
    struct DatabaseName split = {NULL, NULL, NULL};
    const char* colon = strchr(name, ':');
    const char* path = name;
    if (colon != NULL && colon - name > 1)
        path = colon + 1;
    split.server = Duplicate(name, (size_t)(path - name));
    split.windowsPath = Duplicate(path, strlen(path));
    if (IsDrivePath(path))
        split.unixPath = UnixPathOf(path, utf8);
    return split;
}

static void FreeName(struct DatabaseName* split) {
    free(split->server);
    free(split->windowsPath);
    free(split->unixPath);
}

/* The name handed to the Linux client; the caller frees it. */
static char* LinuxName(const struct DatabaseName* split) {
    const char* path = split->unixPath != NULL ? split->unixPath : split->windowsPath;
    const size_t serverLength = strlen(split->server);
    char* name = malloc(serverLength + strlen(path) + 1);
    memcpy(name, split->server, serverLength);
    strcpy(name + serverLength, path);
    return name;
}

static int SaysUtf8(short dpbLength, const char* dpb) {
    if (dpb == NULL || dpbLength < 1 || dpb[0] != DpbVersion1)
        return 0;
    for (short at = 1; at + 1 < dpbLength;) {
        if (dpb[at] == DpbUtf8Filename)
            return 1;
        at = (short)(at + 2 + (unsigned char)dpb[at + 1]);
    }
    return 0;
}

/* Texts the rewritten status vector points at; a vector of the calling thread is read before
 * its next call, so each thread keeps only the texts of its latest failure. */
static __thread char* rewrittenTexts[StatusLength];

static char* Replaced(const char* text, size_t length, const char* from, const char* to) {
    const size_t fromLength = strlen(from), toLength = strlen(to);
    size_t count = 0;
    for (const char* at = text; (at = strstr(at, from)) != NULL && at < text + length;
         at += fromLength)
        ++count;
    if (count == 0)
        return NULL;
    char* result = malloc(length + count * toLength + 1);
    char* out = result;
    const char* rest = text;
    for (const char* at; (at = strstr(rest, from)) != NULL && at < text + length;
         rest = at + fromLength) {
        memcpy(out, rest, (size_t)(at - rest));
        out += at - rest;
        memcpy(out, to, toLength);
        out += toLength;
    }
    const size_t tail = (size_t)(text + length - rest);
    memcpy(out, rest, tail);
    out[tail] = '\0';
    return result;
}

/* A path as the Linux client was given it and as the program wrote it. */
struct PathPair {
    char* unixPath;
    char* windowsPath;
};

/* A text with every pair's Unix path turned into its Windows path, the longest first so that
 * no path is taken for the start of another; NULL when none occurs. */
static char* WithWindowsPaths(const char* text, size_t length, const struct PathPair* pairs,
                              int count) {
    char* result = NULL;
    for (int i = 0; i < count; ++i) {
        const char* current = result != NULL ? result : text;
        const size_t currentLength = result != NULL ? strlen(result) : length;
        char* next = Replaced(current, currentLength, pairs[i].unixPath, pairs[i].windowsPath);
        if (next != NULL) {
            free(result);
            result = next;
        }
    }
    return result;
}

/* The client's messages name the files it opened; the program should read the paths it gave. */
static void NameWindowsPathsInStatus(ISC_STATUS* status, const struct PathPair* pairs, int count) {
    if (count == 0 || status[0] != 1 || status[1] == 0)
        return;
    for (int i = 0; i < StatusLength; ++i) {
        free(rewrittenTexts[i]);
        rewrittenTexts[i] = NULL;
    }
    for (int at = 0; at < StatusLength && status[at] != ArgEnd;) {
        const ISC_STATUS kind = status[at];
        if (kind == ArgCstring && at + 2 < StatusLength) {
            char* text =
                WithWindowsPaths((const char*)status[at + 2], (size_t)status[at + 1], pairs, count);
            if (text != NULL) {
                rewrittenTexts[at] = text;
                status[at + 1] = (ISC_STATUS)strlen(text);
                status[at + 2] = (ISC_STATUS)text;
            }
            at += 3;
            continue;
        }
        if ((kind == ArgString || kind == ArgInterpreted) && at + 1 < StatusLength) {
            const char* original = (const char*)status[at + 1];
            char* text = WithWindowsPaths(original, strlen(original), pairs, count);
            if (text != NULL) {
                rewrittenTexts[at] = text;
                status[at + 1] = (ISC_STATUS)text;
            }
        }
        at += 2;
    }
}

/* The name as the Linux client should read it, and what its messages should say instead. */
struct OpenedName {
    char* given;
    struct DatabaseName split;
    char* linuxName;
};

static struct OpenedName PrepareName(short nameLength, const char* name, short dpbLength,
                                     const char* dpb) {
    struct OpenedName opened;
    opened.given = Duplicate(name, nameLength > 0 ? (size_t)nameLength : strlen(name));
    opened.split = SplitName(opened.given, SaysUtf8(dpbLength, dpb));
    opened.linuxName = LinuxName(&opened.split);
    return opened;
}

static void FinishName(struct OpenedName* opened, ISC_STATUS* status) {
    if (opened->split.unixPath != NULL) {
        const struct PathPair pair = {opened->split.unixPath, opened->split.windowsPath};
        NameWindowsPathsInStatus(status, &pair, 1);
    }
    free(opened->linuxName);
    FreeName(&opened->split);
    free(opened->given);
}

typedef ISC_STATUS(LINUX_ABI* AttachCall)(ISC_STATUS*, short, const char*, FB_API_HANDLE*, short,
                                          const char*);
typedef ISC_STATUS(LINUX_ABI* CreateCall)(ISC_STATUS*, short, const char*, FB_API_HANDLE*, short,
                                          const char*, short);

ISC_STATUS WINAPI Shim_isc_attach_database(ISC_STATUS* status, short nameLength, const char* name,
                                           FB_API_HANDLE* db, short dpbLength, const char* dpb) {
    static AttachCall target;
    if (target == NULL)
        target = (AttachCall)Resolve("isc_attach_database");
    struct OpenedName opened = PrepareName(nameLength, name, dpbLength, dpb);
    const ISC_STATUS result = target(status, 0, opened.linuxName, db, dpbLength, dpb);
    FinishName(&opened, status);
    return result;
}

ISC_STATUS WINAPI Shim_isc_create_database(ISC_STATUS* status, short nameLength, const char* name,
                                           FB_API_HANDLE* db, short dpbLength, const char* dpb,
                                           short databaseType) {
    static CreateCall target;
    if (target == NULL)
        target = (CreateCall)Resolve("isc_create_database");
    struct OpenedName opened = PrepareName(nameLength, name, dpbLength, dpb);
    const ISC_STATUS result = target(status, 0, opened.linuxName, db, dpbLength, dpb, databaseType);
    FinishName(&opened, status);
    return result;
}

/* The service manager. Its start blocks name files on the server (the database, the backup
 * file), mapped as database names are; the messages and output lines of the service name them
 * as the program gave them. What a service handle needs is kept in a small table, since the
 * program under test runs one service at a time from one thread. */

enum {
    SpbVersion1 = 1,
    SpbCurrentVersion = 2,
    SpbUtf8Filename = 118,
    SpbDbname = 106,
    SpbVerbose = 107,
    SpbOptions = 108,
    SpbVerboseInterval = 114,
    SpbBackupFile = 5,
    ActionBackup = 1,
    ActionRestore = 2,
    InfoEnd = 1,
    InfoTruncated = 2,
    InfoDataNotReady = 4,
    InfoServiceLine = 62,
    InfoServiceTimeout = 64,
    ServiceSlots = 16,
};

struct Service {
    FB_API_HANDLE handle;
    int utf8;
    int pathCount;
    struct PathPair paths[2];
};

static struct Service services[ServiceSlots];

static struct Service* FindService(FB_API_HANDLE handle) {
    for (int i = 0; handle != 0 && i < ServiceSlots; ++i) {
        if (services[i].handle == handle)
            return &services[i];
    }
    return NULL;
}

static void ForgetPaths(struct Service* service) {
    for (int i = 0; i < service->pathCount; ++i) {
        free(service->paths[i].unixPath);
        free(service->paths[i].windowsPath);
    }
    service->pathCount = 0;
}

static int SpbSaysUtf8(unsigned short length, const char* spb) {
    if (spb == NULL || length < 1)
        return 0;
    int at = 0;
    if (spb[0] == SpbCurrentVersion && length >= 2)
        at = 2;
    else if (spb[0] == SpbVersion1)
        at = 1;
    else
        return 0;
    while (at + 1 < length) {
        if ((unsigned char)spb[at] == SpbUtf8Filename)
            return 1;
        at += 2 + (unsigned char)spb[at + 1];
    }
    return 0;
}

/* Keeps a path the service was given, the longest Unix path first. */
static void KeepPath(struct Service* service, char* unixPath, const char* windowsPath,
                     size_t windowsLength) {
    if (service->pathCount == 2) {
        free(unixPath);
        return;
    }
    struct PathPair pair = {unixPath, Duplicate(windowsPath, windowsLength)};
    if (service->pathCount == 1 && strlen(service->paths[0].unixPath) < strlen(unixPath)) {
        service->paths[1] = service->paths[0];
        service->paths[0] = pair;
    } else {
        service->paths[service->pathCount] = pair;
    }
    ++service->pathCount;
}

static void PutLength(char* at, size_t length) {
    at[0] = (char)(length & 0xFF);
    at[1] = (char)((length >> 8) & 0xFF);
}

/* A backup's or restore's start block with the drive paths of its files mapped, or NULL when it
 * holds an item this shim does not know (it then goes as it is). */
static char* MappedStartBlock(struct Service* service, const char* spb, unsigned short length,
                              unsigned short* mappedLength) {
    /* A mapped path may be far longer than the Windows one. */
    const size_t capacity = (size_t)length + 2 * 4096;
    char* mapped = malloc(capacity);
    size_t out = 0;
    mapped[out++] = spb[0];
    for (unsigned short at = 1; at < length;) {
        const unsigned char tag = (unsigned char)spb[at];
        size_t item = 0;
        switch (tag) {
        case SpbDbname:
        case SpbBackupFile:
        case 8:  /* skip data */
        case 13: /* fix text data */
        case 14: /* fix metadata */
        case 15: /* statistics */
            if (at + 3 > length)
                goto unknown;
            item = 3 + ((unsigned char)spb[at + 1] | ((unsigned char)spb[at + 2] << 8));
            break;
        case SpbVerbose:
            item = 1;
            break;
        case 12: /* access mode */
            item = 2;
            break;
        case SpbOptions:
        case SpbVerboseInterval:
        case 6:  /* blocking factor */
        case 7:  /* backup length */
        case 9:  /* buffers */
        case 10: /* page size */
        case 11: /* restore length */
            item = 5;
            break;
        default:
            goto unknown;
        }
        if (at + item > length)
            goto unknown;
        if (tag == SpbDbname || tag == SpbBackupFile) {
            char* path = Duplicate(spb + at + 3, item - 3);
            char* unixPath = IsDrivePath(path) ? UnixPathOf(path, service->utf8) : NULL;
            const size_t unixLength = unixPath != NULL ? strlen(unixPath) : 0;
            if (unixPath != NULL && unixLength <= 0xFFFF && out + 3 + unixLength <= capacity) {
                mapped[out] = (char)tag;
                PutLength(mapped + out + 1, unixLength);
                memcpy(mapped + out + 3, unixPath, unixLength);
                out += 3 + unixLength;
                KeepPath(service, unixPath, path, item - 3);
                free(path);
                at = (unsigned short)(at + item);
                continue;
            }
            free(unixPath);
            free(path);
        }
        if (out + item > capacity)
            goto unknown;
        memcpy(mapped + out, spb + at, item);
        out += item;
        at = (unsigned short)(at + item);
    }
    if (out > 0xFFFF)
        goto unknown;
    *mappedLength = (unsigned short)out;
    return mapped;
unknown:
    free(mapped);
    ForgetPaths(service);
    return NULL;
}

/* The lines of a query's answer with the service's Unix paths turned into the program's, when
 * the answer still fits its buffer; it is left as it is otherwise. */
static void NameWindowsPathsInLines(char* buffer, unsigned short size,
                                    const struct Service* service) {
    if (service->pathCount == 0 || buffer == NULL)
        return;
    char* rewritten = malloc(size);
    size_t out = 0;
    for (size_t at = 0; at < size;) {
        const unsigned char item = (unsigned char)buffer[at];
        if (item == InfoEnd) {
            if (out + 1 > size)
                goto keep;
            rewritten[out++] = (char)item;
            break;
        }
        if (item == InfoTruncated || item == InfoDataNotReady || item == InfoServiceTimeout) {
            if (out + 1 > size)
                goto keep;
            rewritten[out++] = (char)item;
            ++at;
            continue;
        }
        if (item != InfoServiceLine || at + 3 > size)
            goto keep;
        const size_t length = (unsigned char)buffer[at + 1] | ((unsigned char)buffer[at + 2] << 8);
        if (at + 3 + length > size)
            goto keep;
        char* line = Duplicate(buffer + at + 3, length);
        char* named = WithWindowsPaths(line, length, service->paths, service->pathCount);
        const char* text = named != NULL ? named : line;
        const size_t textLength = strlen(text);
        if (out + 3 + textLength > size) {
            free(named);
            free(line);
            goto keep;
        }
        rewritten[out] = (char)item;
        PutLength(rewritten + out + 1, textLength);
        memcpy(rewritten + out + 3, text, textLength);
        out += 3 + textLength;
        free(named);
        free(line);
        at += 3 + length;
    }
    memcpy(buffer, rewritten, out);
keep:
    free(rewritten);
}

typedef ISC_STATUS(LINUX_ABI* ServiceAttachCall)(ISC_STATUS*, unsigned short, const char*,
                                                 FB_API_HANDLE*, unsigned short, const char*);
typedef ISC_STATUS(LINUX_ABI* ServiceDetachCall)(ISC_STATUS*, FB_API_HANDLE*);
typedef ISC_STATUS(LINUX_ABI* ServiceStartCall)(ISC_STATUS*, FB_API_HANDLE*, void*, unsigned short,
                                                const char*);
typedef ISC_STATUS(LINUX_ABI* ServiceQueryCall)(ISC_STATUS*, FB_API_HANDLE*, void*, unsigned short,
                                                const char*, unsigned short, const char*,
                                                unsigned short, char*);

ISC_STATUS WINAPI Shim_isc_service_attach(ISC_STATUS* status, unsigned short nameLength,
                                          const char* name, FB_API_HANDLE* handle,
                                          unsigned short spbLength, const char* spb) {
    static ServiceAttachCall target;
    if (target == NULL)
        target = (ServiceAttachCall)Resolve("isc_service_attach");
    const ISC_STATUS result = target(status, nameLength, name, handle, spbLength, spb);
    if (status[1] == 0 && FindService(*handle) == NULL) {
        struct Service* slot = NULL;
        for (int i = 0; slot == NULL && i < ServiceSlots; ++i) {
            if (services[i].handle == 0)
                slot = &services[i];
        }
        if (slot != NULL) {
            slot->handle = *handle;
            slot->utf8 = SpbSaysUtf8(spbLength, spb);
            slot->pathCount = 0;
        }
    }
    return result;
}

ISC_STATUS WINAPI Shim_isc_service_detach(ISC_STATUS* status, FB_API_HANDLE* handle) {
    static ServiceDetachCall target;
    if (target == NULL)
        target = (ServiceDetachCall)Resolve("isc_service_detach");
    struct Service* service = FindService(*handle);
    const ISC_STATUS result = target(status, handle);
    if (service != NULL && *handle == 0) {
        ForgetPaths(service);
        service->handle = 0;
    }
    return result;
}

ISC_STATUS WINAPI Shim_isc_service_start(ISC_STATUS* status, FB_API_HANDLE* handle, void* reserved,
                                         unsigned short spbLength, const char* spb) {
    static ServiceStartCall target;
    if (target == NULL)
        target = (ServiceStartCall)Resolve("isc_service_start");
    struct Service* service = FindService(*handle);
    char* mapped = NULL;
    unsigned short mappedLength = spbLength;
    if (service != NULL) {
        ForgetPaths(service);
        if (spb != NULL && spbLength > 0 && (spb[0] == ActionBackup || spb[0] == ActionRestore))
            mapped = MappedStartBlock(service, spb, spbLength, &mappedLength);
    }
    const ISC_STATUS result =
        target(status, handle, reserved, mapped != NULL ? mappedLength : spbLength,
               mapped != NULL ? mapped : spb);
    free(mapped);
    if (service != NULL)
        NameWindowsPathsInStatus(status, service->paths, service->pathCount);
    return result;
}

ISC_STATUS WINAPI Shim_isc_service_query(ISC_STATUS* status, FB_API_HANDLE* handle, void* reserved,
                                         unsigned short sendLength, const char* send,
                                         unsigned short receiveLength, const char* receive,
                                         unsigned short bufferLength, char* buffer) {
    static ServiceQueryCall target;
    if (target == NULL)
        target = (ServiceQueryCall)Resolve("isc_service_query");
    const ISC_STATUS result = target(status, handle, reserved, sendLength, send, receiveLength,
                                     receive, bufferLength, buffer);
    const struct Service* service = FindService(*handle);
    if (service != NULL) {
        NameWindowsPathsInStatus(status, service->paths, service->pathCount);
        NameWindowsPathsInLines(buffer, bufferLength, service);
    }
    return result;
}
