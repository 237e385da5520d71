# Shipped programs without their debugging information: qel_split_debug_info(target) moves it,
# after every link, into <program>.debug beside the program, which keeps a link to it by name
# (gdb finds it there). Only the stripped program goes into a distribution.
function(qel_split_debug_info target)
    if(NOT CMAKE_OBJCOPY)
        message(FATAL_ERROR "objcopy is needed to keep ${target}'s debugging information apart")
    endif()
    set(program $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${program} ${program}.debug
        COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${program}.debug ${program}
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
