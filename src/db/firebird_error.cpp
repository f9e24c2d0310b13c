#include "db/firebird_error.h"

#include <ibase.h>

#include <algorithm>
#include <array>

namespace norvane::db {

namespace {

bool HasAny(const std::vector<long>& codes, std::initializer_list<long> wanted) {
    return std::any_of(codes.begin(), codes.end(), [&](long code) {
        return std::find(wanted.begin(), wanted.end(), code) != wanted.end();
    });
}

} // namespace

bool EFirebirdError::IsFatal() const {
    return HasAny(m_gdsCodes, {
                                  // The connection or the server is gone.
                                  isc_network_error,
                                  isc_net_read_err,
                                  isc_net_write_err,
                                  isc_net_server_shutdown,
                                  isc_conn_lost,
                                  isc_lost_db_connection,
                                  isc_att_shutdown,
                                  isc_shutdown,
                                  isc_shutinprog,
                                  isc_unavailable,
                                  isc_bad_db_handle,
                                  // The database cannot be written.
                                  isc_read_only_database,
                                  isc_no_write_user_priv,
                                  isc_io_error,
                                  isc_io_write_err,
                                  isc_io_read_err,
                                  isc_io_open_err,
                                  isc_io_create_err,
                                  isc_io_access_err,
                                  isc_sys_request,
                                  isc_db_corrupt,
                                  isc_bug_check,
                                  isc_virmemexh,
                              });
}

bool EFirebirdError::IsLockConflict() const {
    return HasAny(m_gdsCodes, {isc_lock_conflict, isc_update_conflict, isc_deadlock});
}

bool EFirebirdError::IsLockWait() const {
    return !IsFatal() && (IsLockConflict() || HasAny(m_gdsCodes, {isc_lock_timeout}));
}

} // namespace norvane::db
