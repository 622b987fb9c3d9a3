# libjpeg and GoogleTest for every target. libjpeg is built as a static, position-independent
# library from Debian's source package of libjpeg-turbo wherever a build ships: no package holds
# it for the Windows targets, and the Linux plug-ins carry it inside, as distributions name its
# shared library differently (libjpeg.so.62 on Debian and Fedora, libjpeg.so.8 on Ubuntu and
# Arch). Builds that ship nothing (the sanitizers', the fuzzers') take Debian's package, as does
# GoogleTest natively; for Windows GoogleTest is built from Debian's source copy in
# /usr/src/googletest.

if(WIN32 OR MORVO_LIBJPEG_SOURCE)
    if(NOT MORVO_LIBJPEG_SOURCE OR NOT EXISTS ${MORVO_LIBJPEG_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "MORVO_LIBJPEG_SOURCE must name libjpeg-turbo's source tree "
                            "(./build.sh fetches it with apt-get source)")
    endif()
    include(ExternalProject)
    set(jpeg_prefix ${CMAKE_BINARY_DIR}/libjpeg)
    set(jpeg_toolchain "")
    if(CMAKE_TOOLCHAIN_FILE)
        set(jpeg_toolchain -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
    endif()
    ExternalProject_Add(libjpeg_build
        SOURCE_DIR ${MORVO_LIBJPEG_SOURCE}
        BINARY_DIR ${CMAKE_BINARY_DIR}/libjpeg-build
        INSTALL_DIR ${jpeg_prefix}
        CMAKE_ARGS
            ${jpeg_toolchain}
            -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
            -DCMAKE_INSTALL_LIBDIR=<INSTALL_DIR>/lib
            -DENABLE_SHARED=OFF
            -DENABLE_STATIC=ON
            -DWITH_TURBOJPEG=OFF
            -DWITH_SIMD=ON
            -DREQUIRE_SIMD=ON
            -DCMAKE_POSITION_INDEPENDENT_CODE=ON
        BUILD_BYPRODUCTS ${jpeg_prefix}/lib/libjpeg.a
        UPDATE_COMMAND ""
        TEST_COMMAND "")
    file(MAKE_DIRECTORY ${jpeg_prefix}/include)
    add_library(morvo_jpeg STATIC IMPORTED GLOBAL)
    set_target_properties(morvo_jpeg PROPERTIES
        IMPORTED_LOCATION ${jpeg_prefix}/lib/libjpeg.a
        INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/include)
    add_dependencies(morvo_jpeg libjpeg_build)
else()
    find_package(JPEG REQUIRED)
    add_library(morvo_jpeg INTERFACE IMPORTED GLOBAL)
    target_link_libraries(morvo_jpeg INTERFACE JPEG::JPEG)
endif()

if(MORVO_TESTS)
    if(CMAKE_CROSSCOMPILING)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        # GoogleTest's own sources are not held to this project's warning flags.
        foreach(target gtest gtest_main)
            target_compile_options(${target} PRIVATE -w)
        endforeach()
    else()
        find_package(GTest REQUIRED)
    endif()
endif()
