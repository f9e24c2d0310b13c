# Fails when a core file reaches past its layer: a system or toolkit header anywhere above
# the platform layer, or the Firebird client's header outside the database layer.
set(system_headers
    "windows\\.h" "winbase\\.h" "tlhelp32\\.h" "shlobj\\.h" "unistd\\.h" "dirent\\.h"
    "fcntl\\.h" "dlfcn\\.h" "spawn\\.h" "pwd\\.h" "sys/[a-z_]+\\.h" "Q[A-Za-z]+" "qt[a-z]+\\.h")
list(JOIN system_headers "|" system_pattern)
set(core_layers base ui db package update app)

set(violations "")
foreach(layer IN LISTS core_layers)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/src/${layer}/*.h" "${SOURCE_DIR}/src/${layer}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS includes)
            set(bad FALSE)
            if(line MATCHES "[<\"](${system_pattern})[>\"]")
                set(bad TRUE)
            elseif(line MATCHES "platform/(posix|win32)/")
                set(bad TRUE)
            elseif(line MATCHES "[<\"](ibase|iberror|firebird/[A-Za-z]+)\\.h[>\"]" AND
                   NOT layer STREQUAL "db")
                set(bad TRUE)
            endif()
            if(bad)
                file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
                string(STRIP "${line}" line)
                list(APPEND violations "${relative}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Core files include headers outside their layer:\n  ${text}")
endif()
message(STATUS "Every core file stays within its layer")
