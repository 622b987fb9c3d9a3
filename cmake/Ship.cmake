# What ships carries no debug information. A built library or program keeps its symbols in a
# file of its own beside it (NAME.debug, named in the binary's .gnu_debuglink section, where
# debuggers and crash-report tools look), and the binary itself is stripped; the tests load the
# stripped one, as users get it. Code and data nothing refers to are dropped at link time.
# Debug builds (the sanitizer presets) stay as they are.
function(morvo_ship target)
    target_link_options(${target} PRIVATE -Wl,--gc-sections)
    if(CMAKE_BUILD_TYPE STREQUAL "Debug")
        return()
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY" AND NOT WIN32)
        set(strip_mode --strip-unneeded) # the dynamic symbols stay: they are the exports
    else()
        set(strip_mode --strip-all)
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
                $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${CMAKE_STRIP} ${strip_mode} $<TARGET_FILE_NAME:${target}>
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
