#pragma once

#include "db/services.h"
#include "ui/window.h"

#include <chrono>
#include <string>
#include <string_view>

namespace norvane::app {

/// Which service's output a display reads.
enum class ServiceKind { Backup, Restore };

/// What a backup or restore shows while it runs: lUpdate's caption, the bar and the time left
/// in lUpdateTime. The estimate counts the tables whose rows the service has finished against
/// the tables it has rows to do, both read from its verbose output: a backup names every table
/// before it writes their rows; a restore is given the count its backup wrote. The window is
/// pumped while the service runs, and a request to end the program stops the service.
class ServiceProgressDisplay {
public:
    /// tablesWithRows: for a restore, the tables its backup wrote rows of (0 when unknown).
    ServiceProgressDisplay(ui::Window& window, std::string_view caption, ServiceKind kind,
                           int tablesWithRows = 0);
    /// Hides the bar and the labels again.
    ~ServiceProgressDisplay();
    ServiceProgressDisplay(const ServiceProgressDisplay&) = delete;
    ServiceProgressDisplay& operator=(const ServiceProgressDisplay&) = delete;

    /// The callbacks to hand to the service; they live as long as the display.
    db::ServiceProgress Callbacks();

    /// For a backup: the tables it wrote at least one row of, so far.
    int TablesWithRows() const;

    /// Reads one line of the service's output; public for the tests of the estimate.
    void OnLine(const std::string& line);

private:
    void OnWait();
    void ShowEstimate();

    ui::Window& m_window;
    ServiceKind m_kind;
    std::chrono::steady_clock::time_point m_start;
    int m_tables = 0;
    int m_done = 0;
    // Tables whose rows are done, and those of them that had rows.
    int m_tablesWithRows = 0;
    // Whether the rows of a table have started, and whether that table had any.
    bool m_started = false;
    bool m_currentHasRows = false;
};

} // namespace norvane::app
