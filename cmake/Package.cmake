# The releases, made by CPack from the install rules (./build.sh package puts them in
# dist/packages with their checksums):
#   morvo_VERSION_amd64.deb              the "system" component, under /usr
#   Morvo-VERSION-linux-x86_64.tar.gz    the "user" component: one folder per kind of host
#   Morvo-VERSION-windows.zip            the "windows" component of the win32 and win64 trees
# `cmake --install build/linux` installs the system layout under its prefix.

set(MORVO_PACKAGE_MAINTAINER "Halvark <morvo@halvark.example>" CACHE STRING
    "The Debian package's maintainer, as NAME <ADDRESS>")
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME morvo)
set(CPACK_PACKAGE_VENDOR Halvark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "16-step sequencer of MIDI Control Change values (VST 2, VST 3, CLAP, LV2)")
set(CPACK_STRIP_FILES OFF) # stripped already, their symbols kept beside them
# Each generator installs its own component of its own trees (the per-generator file below).
set(CPACK_PROJECT_CONFIG_FILE ${generated}/GeneratorOptions.cmake)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # One rule, two places: where the Debian package puts a file (under /usr) and where the
    # archive for one user keeps it.
    function(morvo_install kind system_folder user_folder)
        install(${kind} ${ARGN} DESTINATION ${system_folder} COMPONENT system)
        install(${kind} ${ARGN} DESTINATION ${user_folder} COMPONENT user EXCLUDE_FROM_ALL)
    endfunction()
    set(lv2_bundle ${PROJECT_BINARY_DIR}/lv2/Morvo.lv2)
    morvo_install(FILES lib/vst vst $<TARGET_FILE:Morvo>)
    morvo_install(FILES lib/clap clap $<TARGET_FILE:MorvoClap>)
    # The VST 3 bundle as hosts scan it: the library in its architecture's folder.
    morvo_install(FILES lib/vst3/Morvo.vst3/Contents/${MORVO_VST3_ARCHITECTURE}
        vst3/Morvo.vst3/Contents/${MORVO_VST3_ARCHITECTURE} $<TARGET_FILE:MorvoVst3>)
    morvo_install(FILES lib/vst3/Morvo.vst3/Contents/Resources vst3/Morvo.vst3/Contents/Resources
        ${MORVO_VST3_BUNDLE}/Contents/Resources/moduleinfo.json)
    morvo_install(FILES lib/lv2/Morvo.lv2 lv2/Morvo.lv2 $<TARGET_FILE:MorvoLv2>
        ${lv2_bundle}/manifest.ttl ${lv2_bundle}/Morvo.ttl ${lv2_bundle}/presets.ttl)
    morvo_install(PROGRAMS bin . $<TARGET_FILE:morvo-host>)
    # The copyright file and the changelog are dated by the build (by SOURCE_DATE_EPOCH when it
    # is set).
    string(TIMESTAMP MORVO_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    string(TIMESTAMP MORVO_RELEASE_YEAR "%Y" UTC)
    configure_file(${packaging}/copyright ${generated}/copyright @ONLY)
    morvo_install(FILES share/doc/morvo . ${generated}/copyright)
    # The package's README is for its users (what goes where, loading it, morvo-host), as the
    # project's README.md is about building it; the archive keeps README.md beside INSTALL.txt.
    configure_file(${packaging}/README.in ${generated}/README @ONLY)
    install(FILES ${generated}/README DESTINATION share/doc/morvo COMPONENT system)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT user EXCLUDE_FROM_ALL)

    # What Debian asks of a package besides: a changelog and a manual page, compressed with
    # gzip -9n (no name or time stamp inside).
    configure_file(${packaging}/changelog.in ${generated}/changelog @ONLY)
    configure_file(${packaging}/morvo-host.1.in ${generated}/morvo-host.1 @ONLY)
    foreach(file changelog morvo-host.1)
        add_custom_command(OUTPUT ${generated}/${file}.gz
            COMMAND sh -c "gzip -9nc ${file} > ${file}.gz"
            DEPENDS ${generated}/${file}
            WORKING_DIRECTORY ${generated}
            VERBATIM)
    endforeach()
    add_custom_target(morvo_package_documents ALL
        DEPENDS ${generated}/changelog.gz ${generated}/morvo-host.1.gz)
    install(FILES ${generated}/changelog.gz DESTINATION share/doc/morvo COMPONENT system)
    install(FILES ${generated}/morvo-host.1.gz DESTINATION share/man/man1 COMPONENT system)
    install(FILES ${packaging}/lintian-overrides DESTINATION share/lintian/overrides
        RENAME morvo COMPONENT system)
    configure_file(${packaging}/INSTALL-linux.txt ${generated}/INSTALL.txt @ONLY)
    install(FILES ${generated}/INSTALL.txt DESTINATION . COMPONENT user EXCLUDE_FROM_ALL)

    set(CPACK_GENERATOR "DEB;TGZ")
    set(CPACK_DEBIAN_PACKAGE_NAME morvo)
    set(CPACK_DEBIAN_FILE_NAME morvo_${PROJECT_VERSION}_amd64.deb)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MORVO_PACKAGE_MAINTAINER})
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The synopsis is the summary above; this is the extended description.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ostrel by Halvark plays sixteen step values in turn at 1 to 32 steps per
beat, each scaled into a controller range and sent as a Control Change on all
16 MIDI channels, following the host's tempo or song position.
.
This package holds the VST 2 library (/usr/lib/vst), the VST 3 bundle
(/usr/lib/vst3), the CLAP plug-in (/usr/lib/clap) and the LV2 bundle
(/usr/lib/lv2), each with the same editor drawn on X11, and morvo-host, a
command-line host that also plays the plug-in as a JACK client.")
    # The libraries they link decide the dependencies (dpkg-shlibdeps): X11, cairo and the C
    # run-time (the plug-ins carry libjpeg and the C++ run-time inside), and the C++ run-time
    # for morvo-host. It loads JACK only for --jack, so JACK is recommended, not required.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libjack-jackd2-0 | libjack0")
    # CPack's Debian generator writes maintainer scripts that run ldconfig for any shared object
    # in or one folder below /usr/lib, which takes in the plug-ins in /usr/lib/vst and
    # /usr/lib/clap. Plug-ins are not in the linker's path, so the package needs no scripts:
    # naming scripts of our own, which do not exist, keeps it from writing them.
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${generated}/no-scripts/postinst
        ${generated}/no-scripts/postrm)
    set(CPACK_PACKAGE_FILE_NAME Morvo-${PROJECT_VERSION}-linux-x86_64)
    set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
    set(generator_options "
if(CPACK_GENERATOR STREQUAL \"DEB\")
    set(CPACK_INSTALL_CMAKE_PROJECTS \"${PROJECT_BINARY_DIR};Morvo;system;/\")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
else()
    set(CPACK_INSTALL_CMAKE_PROJECTS \"${PROJECT_BINARY_DIR};Morvo;user;/\")
endif()
")
elseif(WIN32)
    # The zip gathers both Windows trees: each installs its VST 2 DLL into the folder named for
    # the hosts that load it and its VST 3 library into the one bundle's folder for its
    # architecture; the 64-bit tree adds the bundle's module information, the CLAP plug-in,
    # morvo-host and the text.
    math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
    install(FILES $<TARGET_FILE:Morvo> DESTINATION "VST2 ${bits}-bit hosts" COMPONENT windows)
    install(FILES $<TARGET_FILE:MorvoVst3>
        DESTINATION VST3/Morvo.vst3/Contents/${MORVO_VST3_ARCHITECTURE} COMPONENT windows)
    if(bits EQUAL 64)
        install(FILES ${MORVO_VST3_BUNDLE}/Contents/Resources/moduleinfo.json
            DESTINATION VST3/Morvo.vst3/Contents/Resources COMPONENT windows)
        install(FILES $<TARGET_FILE:MorvoClap> DESTINATION "CLAP 64-bit hosts"
            COMPONENT windows)
        install(PROGRAMS $<TARGET_FILE:morvo-host> DESTINATION . COMPONENT windows)
        configure_file(${packaging}/INSTALL-windows.txt ${generated}/INSTALL.txt @ONLY
            NEWLINE_STYLE CRLF)
        install(FILES ${generated}/INSTALL.txt DESTINATION . COMPONENT windows)
    else()
        return() # the 64-bit tree packages the zip
    endif()
    set(MORVO_WIN32_BUILD_DIR ${PROJECT_BINARY_DIR}/../win32 CACHE PATH
        "The 32-bit Windows build tree whose DLL the Windows zip carries")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME Morvo-${PROJECT_VERSION}-windows)
    set(generator_options "
set(CPACK_INSTALL_CMAKE_PROJECTS
    \"${MORVO_WIN32_BUILD_DIR};Morvo;windows;/;${PROJECT_BINARY_DIR};Morvo;windows;/\")
")
endif()
file(WRITE ${generated}/GeneratorOptions.cmake "${generator_options}")
include(CPack)
