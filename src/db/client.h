#pragma once

// The Firebird client as the rest of src/db sees it: entry points resolved at run time and
// one move-only owner per client handle. Nothing outside src/db includes this file.

#include "platform/library.h"

#include <ibase.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvane::db {

#define NORVANE_FB_ENTRY_POINTS(X)                                                                 \
    X(isc_attach_database)                                                                         \
    X(isc_detach_database)                                                                         \
    X(isc_drop_database)                                                                           \
    X(isc_database_info)                                                                           \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_rollback_transaction)                                                                    \
    X(isc_dsql_allocate_statement)                                                                 \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_describe)                                                                           \
    X(isc_dsql_describe_bind)                                                                      \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_execute2)                                                                           \
    X(isc_dsql_fetch)                                                                              \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_create_blob2)                                                                            \
    X(isc_open_blob2)                                                                              \
    X(isc_put_segment)                                                                             \
    X(isc_get_segment)                                                                             \
    X(isc_close_blob)                                                                              \
    X(isc_cancel_blob)                                                                             \
    X(isc_service_attach)                                                                          \
    X(isc_service_detach)                                                                          \
    X(isc_service_start)                                                                           \
    X(isc_service_query)                                                                           \
    X(isc_vax_integer)                                                                             \
    X(fb_interpret)                                                                                \
    X(isc_sqlcode)

/// The loaded client library and its entry points.
class Client {
public:
    /// Loads the library from the platform's candidates; ELibraryError names it when it or
    /// one of its entry points is missing.
    static std::shared_ptr<const Client> Load(const std::string& exeDir);

#define NORVANE_FB_DECLARE(name) decltype(&::name) name = nullptr;
    NORVANE_FB_ENTRY_POINTS(NORVANE_FB_DECLARE)
#undef NORVANE_FB_DECLARE

    /// Raises EFirebirdError with the status text when the status vector holds an error.
    /// A message whose arguments the legacy API's vector cut off is left out, and the text
    /// ends with CutShortNote instead.
    void Check(const ISC_STATUS* status) const;

    const std::string& LibraryName() const {
        return m_library.Name();
    }

    /// Only Load makes a Client; the key keeps make_shared usable.
    struct Key {
        explicit Key() = default;
    };
    Client(Key, platform::SharedLibrary library) : m_library(std::move(library)) {}

private:
    // The address of an entry point; ELibraryError names the library when it has none.
    void* EntryPoint(const char* name) const;
    // Whether a message, interpreted as text, lacks arguments its text names.
    bool LostArguments(std::vector<ISC_STATUS> message, const std::string& text) const;

    platform::SharedLibrary m_library;
};

/// One database of isc_start_multiple's vector, laid out as the client reads it.
struct TransactionElement {
    FB_API_HANDLE* database;
    int tpbLength;
    const unsigned char* tpb;
};

/// How each kind of handle is given back to the client when its owner goes.
struct AttachmentTraits {
    static void Release(const Client& client, FB_API_HANDLE* handle) noexcept {
        ISC_STATUS_ARRAY status{};
        client.isc_detach_database(status, handle);
    }
};
struct TransactionTraits {
    static void Release(const Client& client, FB_API_HANDLE* handle) noexcept {
        ISC_STATUS_ARRAY status{};
        client.isc_rollback_transaction(status, handle);
    }
};
struct StatementTraits {
    static void Release(const Client& client, FB_API_HANDLE* handle) noexcept {
        ISC_STATUS_ARRAY status{};
        client.isc_dsql_free_statement(status, handle, DSQL_drop);
    }
};
struct BlobTraits {
    static void Release(const Client& client, FB_API_HANDLE* handle) noexcept {
        ISC_STATUS_ARRAY status{};
        client.isc_cancel_blob(status, handle);
    }
};
struct ServiceTraits {
    static void Release(const Client& client, FB_API_HANDLE* handle) noexcept {
        ISC_STATUS_ARRAY status{};
        client.isc_service_detach(status, handle);
    }
};

/// One client handle with one owner. The client calls that end a handle (detach, commit,
/// free, close) set it to zero themselves; whatever is left is released here, and a failure
/// to release is ignored because there is no one left to tell.
template <typename Traits> class ClientHandle {
public:
    explicit ClientHandle(std::shared_ptr<const Client> client) : m_client(std::move(client)) {}
    ClientHandle(ClientHandle&& other) noexcept
        : m_client(std::move(other.m_client)),
          m_handle(std::exchange(other.m_handle, FB_API_HANDLE{})) {}
    ClientHandle& operator=(ClientHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_client = std::move(other.m_client);
            m_handle = std::exchange(other.m_handle, FB_API_HANDLE{});
        }
        return *this;
    }
    ClientHandle(const ClientHandle&) = delete;
    ClientHandle& operator=(const ClientHandle&) = delete;
    ~ClientHandle() { Reset(); }

    /// The handle's address, for the client calls that create, use or end it.
    FB_API_HANDLE* Ptr() { return &m_handle; }
    bool Valid() const { return m_handle != FB_API_HANDLE{}; }
    const Client& Api() const { return *m_client; }

    void Reset() noexcept {
        if (m_handle != FB_API_HANDLE{} && m_client)
            Traits::Release(*m_client, &m_handle);
        m_handle = FB_API_HANDLE{};
    }

private:
    std::shared_ptr<const Client> m_client;
    FB_API_HANDLE m_handle{};
};

using AttachmentHandle = ClientHandle<AttachmentTraits>;
using TransactionHandle = ClientHandle<TransactionTraits>;
using StatementHandle = ClientHandle<StatementTraits>;
using BlobHandle = ClientHandle<BlobTraits>;
using ServiceHandle = ClientHandle<ServiceTraits>;

} // namespace norvane::db
