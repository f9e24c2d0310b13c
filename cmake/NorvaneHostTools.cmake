# The tools a build runs on the machine that builds (the RAR 4 packer, the package check). A
# native build runs its own; a cross build makes them with the host's compiler in a build of its own, so that
# nothing the build needs runs under an emulator (a 32-bit Windows packer, say, which Wine
# runs only where the kernel runs 32-bit programs).
#
# NORVANE_RAR4PACK          the packer's command
# NORVANE_PACKAGE_CHECK     the package check's command
# NORVANE_HOST_TOOL_DEPENDS what a custom command running one depends on

if(NOT CMAKE_CROSSCOMPILING)
    set(NORVANE_RAR4PACK rar4pack)
    set(NORVANE_PACKAGE_CHECK norvane-package-check)
    set(NORVANE_HOST_TOOL_DEPENDS rar4pack norvane-package-check)
    return()
endif()

include(ExternalProject)
cmake_host_system_information(RESULT host_cores QUERY NUMBER_OF_LOGICAL_CORES)
set(host_tools_dir ${CMAKE_BINARY_DIR}/host-tools)
set(NORVANE_RAR4PACK ${host_tools_dir}/tools/rar4pack)
set(NORVANE_PACKAGE_CHECK ${host_tools_dir}/tools/norvane-package-check)
# Under make the host build joins the outer build's job server; other generators get a count.
if(CMAKE_GENERATOR MATCHES "Makefiles")
    set(host_build_command "$(MAKE)")
else()
    set(host_build_command ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel ${host_cores})
endif()
# The host build is a build of this project with the host's compiler and the tools alone; its
# own build decides what changed (all of it, so that a changed project regenerates it).
ExternalProject_Add(norvane_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${host_tools_dir}
    CMAKE_ARGS -DNORVANE_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${host_build_command}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${NORVANE_RAR4PACK} ${NORVANE_PACKAGE_CHECK}
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
set(NORVANE_HOST_TOOL_DEPENDS norvane_host_tools ${NORVANE_RAR4PACK} ${NORVANE_PACKAGE_CHECK})
