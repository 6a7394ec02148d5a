# Installs the build into a temporary root and checks what lands there; the desktop entry
# must pass desktop-file-validate without an error or a warning.   cmake -DBUILD_DIR=build -DROOT=/tmp/x -P check_install.cmake
file(REMOVE_RECURSE ${ROOT})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${ROOT} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
set(expected usr/bin/morvane usr/bin/morvane-cli usr/share/applications/morvane.desktop
    usr/share/bash-completion/completions/morvane-cli usr/share/zsh/vendor-completions/_morvane-cli
    usr/share/fish/vendor_completions.d/morvane-cli.fish usr/share/man/man1/morvane-cli.1)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/morvane.png)
endforeach()
foreach(path IN LISTS expected)
    if(NOT EXISTS ${ROOT}/${path})
        message(FATAL_ERROR "missing after install: ${path}")
    endif()
endforeach()
execute_process(COMMAND desktop-file-validate ${ROOT}/usr/share/applications/morvane.desktop
                RESULT_VARIABLE valid OUTPUT_VARIABLE said ERROR_VARIABLE said)
# Hints are advice (two main categories are wanted here); errors and warnings are not.
if(NOT valid EQUAL 0 OR said MATCHES "error:|warning:")
    message(FATAL_ERROR "desktop-file-validate: ${said}")
endif()
message(STATUS "install: ${ROOT} holds every file")
