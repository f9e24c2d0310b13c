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

/* The client's messages name the file it opened; the program should read the path it gave. */
static void NameWindowsPathInStatus(ISC_STATUS* status, const struct DatabaseName* split) {
    if (split->unixPath == NULL || status[0] != 1 || status[1] == 0)
        return;
    for (int i = 0; i < StatusLength; ++i) {
        free(rewrittenTexts[i]);
        rewrittenTexts[i] = NULL;
    }
    for (int at = 0; at < StatusLength && status[at] != ArgEnd;) {
        const ISC_STATUS kind = status[at];
        if (kind == ArgCstring && at + 2 < StatusLength) {
            char* text = Replaced((const char*)status[at + 2], (size_t)status[at + 1],
                                  split->unixPath, split->windowsPath);
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
            char* text = Replaced(original, strlen(original), split->unixPath, split->windowsPath);
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
    NameWindowsPathInStatus(status, &opened->split);
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
