#include "app/service_progress.h"

#include "platform/interrupt.h"
#include "update/remaining_time.h"

#include <cstdio>

namespace norvane::app {

using ui::Control;

namespace {

// gbak's verbose lines: a backup names each table while it writes the metadata, then starts
// the rows of each; a restore starts the rows of each table that has some. Each table's rows
// end with a count ("5 records written", "5 records restored").
struct OutputMarkers {
    std::string_view table;
    std::string_view tableRows;
    std::string_view rowCount;
};

constexpr OutputMarkers BackupMarkers{"writing table ", "writing data for table ",
                                      "records written"};
constexpr OutputMarkers RestoreMarkers{"", "restoring data for table ", "records restored"};

const OutputMarkers& MarkersOf(ServiceKind kind) {
    return kind == ServiceKind::Backup ? BackupMarkers : RestoreMarkers;
}

bool Holds(std::string_view line, std::string_view marker) {
    return !marker.empty() && line.find(marker) != std::string_view::npos;
}

// The count before "records ...", as in "gbak:   12 records restored".
long long RowCount(const std::string& line) {
    const std::size_t colon = line.find(':');
    long long count = 0;
    if (std::sscanf(line.c_str() + (colon == std::string::npos ? 0 : colon + 1), " %lld", &count) !=
        1)
        return 0;
    return count;
}

} // namespace

ServiceProgressDisplay::ServiceProgressDisplay(ui::Window& window, std::string_view caption,
                                               ServiceKind kind, int tablesWithRows)
    : m_window(window), m_kind(kind), m_start(std::chrono::steady_clock::now()),
      m_tables(kind == ServiceKind::Restore ? tablesWithRows : 0) {
    m_window.SetCaption(Control::lUpdate, caption);
    m_window.SetProgressMin(0);
    m_window.SetProgressMax(m_tables > 0 ? m_tables : 1);
    m_window.SetProgressPosition(0);
    for (Control control : {Control::lUpdate, Control::ProgressBar2})
        m_window.SetVisible(control, true);
    m_window.PumpMessages();
}

ServiceProgressDisplay::~ServiceProgressDisplay() {
    for (Control control : {Control::lUpdate, Control::ProgressBar2, Control::lUpdateTime})
        m_window.SetVisible(control, false);
}

db::ServiceProgress ServiceProgressDisplay::Callbacks() {
    return {[this](const std::string& line) { OnLine(line); }, [this] { OnWait(); }};
}

void ServiceProgressDisplay::OnLine(const std::string& line) {
    const OutputMarkers& markers = MarkersOf(m_kind);
    if (Holds(line, markers.tableRows)) {
        // The rows of the table before this one are done.
        if (m_started)
            ++m_done;
        m_started = true;
        if (m_currentHasRows)
            ++m_tablesWithRows;
        m_currentHasRows = false;
        ShowEstimate();
    } else if (Holds(line, markers.rowCount)) {
        m_currentHasRows = m_currentHasRows || RowCount(line) > 0;
    } else if (!m_started && Holds(line, markers.table)) {
        // Named before any rows: "writing table constraints" comes after them.
        ++m_tables;
        m_window.SetProgressMax(m_tables);
    }
    OnWait();
}

void ServiceProgressDisplay::OnWait() {
    m_window.PumpMessages();
    // Thrown through the service, which stops and removes what it was writing.
    platform::ThrowIfInterrupted();
}

void ServiceProgressDisplay::ShowEstimate() {
    m_window.SetProgressPosition(m_done);
    if (m_done < 1 || m_tables < 1)
        return;
    const auto elapsed = std::chrono::steady_clock::now() - m_start;
    m_window.SetCaption(Control::lUpdateTime, update::RemainingTimeText(m_tables, m_done, elapsed));
    m_window.SetVisible(Control::lUpdateTime, true);
}

int ServiceProgressDisplay::TablesWithRows() const {
    return m_tablesWithRows + (m_currentHasRows ? 1 : 0);
}

} // namespace norvane::app
