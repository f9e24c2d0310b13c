#include "support/row_holder.h"

#include "db/statement.h"

namespace norvane::testing {

RowHolder::RowHolder(const std::string& databaseName, std::string_view update,
                     std::chrono::seconds deadline)
    : m_database(""), m_transaction(m_database, db::TransactionMode::ReadCommittedWait) {
    m_database.SetDatabaseName(databaseName);
    m_database.SetParams({"sysdba", "quillbark"});
    m_database.Open();
    m_transaction.StartTransaction();
    db::Statement statement(m_transaction, db::Parameters::Raw);
    statement.SetSql(std::string(update));
    statement.Execute();
    m_deadline = std::thread([this, deadline] {
        std::unique_lock lock(m_mutex);
        if (!m_ended.wait_for(lock, deadline, [this] { return !m_holding; })) {
            lock.unlock();
            End(false, true);
        }
    });
}

RowHolder::~RowHolder() {
    try {
        End(false, false);
    } catch (const std::exception&) {
        // A connection already gone holds nothing.
    }
    m_deadline.join();
}

void RowHolder::Commit() {
    End(true, false);
}

void RowHolder::Rollback() {
    End(false, false);
}

bool RowHolder::EndedAtDeadline() const {
    std::lock_guard lock(m_mutex);
    return m_endedAtDeadline;
}

void RowHolder::End(bool commit, bool atDeadline) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_holding)
            return;
        m_holding = false;
        m_endedAtDeadline = atDeadline;
        if (commit)
            m_transaction.Commit();
        else
            m_transaction.Rollback();
    }
    m_ended.notify_all();
}

} // namespace norvane::testing
