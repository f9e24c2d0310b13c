cmake_minimum_required(VERSION 3.25)

# Fails when a file of src/ reaches past its layer. Each layer may include the layers below it
# and itself: base < platform < ui, db < package, update < app < frontends, where package and
# update do not include each other. Above the platform layer no file includes a system or
# toolkit header, nor a file of one platform's implementation; the Firebird client's header is
# the database layer's alone.
set(allowed_base base)
set(allowed_platform base platform)
set(allowed_ui base platform ui)
set(allowed_db base platform db)
set(allowed_package base platform ui db package)
set(allowed_update base platform ui db update)
set(allowed_app base platform ui db package update app)
set(allowed_frontends base platform ui db package update app frontends)
set(layers base platform ui db package update app frontends)
set(core_layers base ui db package update app)

set(system_headers
    "windows\\.h" "winbase\\.h" "tlhelp32\\.h" "shlobj\\.h" "commctrl\\.h" "unistd\\.h"
    "dirent\\.h" "fcntl\\.h" "dlfcn\\.h" "spawn\\.h" "pwd\\.h" "langinfo\\.h" "sys/[a-z_]+\\.h"
    "Q[A-Za-z]+" "qt[a-z]+\\.h")
list(JOIN system_headers "|" system_pattern)
set(firebird_pattern "ibase|iberror|firebird/[A-Za-z]+")

# The layer of a project include ("db/glob_db.h" is db's), or nothing for any other include.
function(included_layer line result)
    set(${result} "" PARENT_SCOPE)
    if(line MATCHES "#[ \t]*include[ \t]*\"([a-z_]+)/")
        set(${result} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    endif()
endfunction()

set(violations "")
foreach(layer IN LISTS layers)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/src/${layer}/*.h" "${SOURCE_DIR}/src/${layer}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS includes)
            set(why "")
            included_layer("${line}" target)
            if(target)
                if(NOT target IN_LIST layers)
                    set(why "not a layer of src")
                elseif(NOT target IN_LIST allowed_${layer})
                    set(why "${layer} may not include ${target}")
                elseif(line MATCHES "platform/(posix|win32)/" AND layer IN_LIST core_layers)
                    set(why "one platform's implementation")
                endif()
            elseif(line MATCHES "[<\"](${system_pattern})[>\"]" AND layer IN_LIST core_layers)
                set(why "a system or toolkit header")
            endif()
            if(line MATCHES "[<\"](${firebird_pattern})\\.h[>\"]" AND NOT layer STREQUAL "db")
                set(why "the Firebird client outside the database layer")
            endif()
            if(why)
                file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
                string(STRIP "${line}" line)
                list(APPEND violations "${relative}: ${line} (${why})")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Files include headers outside their layer:\n  ${text}")
endif()
message(STATUS "Every file of src stays within its layer")
