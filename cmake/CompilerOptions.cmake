# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings, sanitizers and fuzzing flags shared by every zelk target.
function(zelk_apply_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(ZELK_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# The fuzz targets run under the same sanitizers as the core suite, so one build serves both.
if(ZELK_SANITIZE OR ZELK_FUZZ)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ZELK_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(ZELK_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZELK_FUZZ needs clang (configure a new build folder with CXX=clang++)")
endif()
