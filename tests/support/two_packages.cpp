// Shared by the Linux and the Windows end-to-end tests, so that both builds are held to the
// same database and the same account of the install.

#include "support/two_packages.h"

#include "platform/paths.h"

namespace norvane::testing {

std::string ProductDatabaseScript(int version) {
    return "create table versions (code integer, build integer, data integer,"
           " update_date timestamp);"
           "create table INFO_DOC (ID integer not null primary key,"
           " NOTE_U blob sub_type 0);"
           "insert into INFO_DOC (ID) values (7);"
           "insert into INFO_DOC (ID) values (10);"
           "insert into versions values (1, 0, 1, '2001-01-01');"
           "insert into versions values (1, 1, " +
           std::to_string(version) + ", '2018-01-01');";
}

std::vector<std::string> TwoPackagesMemo(const std::string& databasePath,
                                         const std::string& workFolder,
                                         const std::string& programFolder) {
    const std::string keptLogs = JoinPath(JoinPath(programFolder, "norvane-update.logs"), "255");
    return {
        "Перевірка запущенної програми...OK",
        "Підключення до бази даних",
        databasePath,
        "Версія бази даних: 253",
        "Наявні пакети оновлення:",
        "254_RAR",
        "255_RAR [OK]",
        "Створення тимчасового каталога",
        workFolder,
        "Наявність архиватора RAR...[OK]",
        "Копіювання пакету",
        JoinPath(workFolder, "254.rar"),
        "Розпаковка пакету...[OK]",
        "Встановлення оновлення",
        "254.01.sql",
        "254.99.sql",
        "Norvanework.exe...[OK]",
        "Копіювання пакету",
        JoinPath(workFolder, "255.rar"),
        "Розпаковка пакету...[OK]",
        "Встановлення оновлення",
        "255.01.sql",
        "255.02.sql",
        "error: помилок у скрипті: 1, журнал: " + JoinPath(keptLogs, "255.02.sql.log"),
        "255.99.sql",
        "Norvanework.exe...[OK]",
        "a.fr3...[OK]",
        "B.fr3...[OK]",
    };
}

} // namespace norvane::testing
