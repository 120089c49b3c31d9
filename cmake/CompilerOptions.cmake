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

# The hardening Debian builds its packages with (dpkg-buildflags with hardening=+all): checked
# string and memory functions, stack protection, read-only relocations bound at start, and
# position-independent executables. The sanitizer builds have protections of their own, and
# _FORTIFY_SOURCE needs the optimizer, so it is left out of Debug builds.
if(NOT (ZELK_SANITIZE OR ZELK_FUZZ OR ZELK_TSAN))
    include(CheckCXXCompilerFlag)
    include(CheckPIESupported)
    check_pie_supported()
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                        $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE$<SEMICOLON>-D_FORTIFY_SOURCE=2>)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "ZELK_HAS${flag}" supported)
        check_cxx_compiler_flag(${flag} ${supported})
        if(${supported})
            add_compile_options(${flag})
        endif()
    endforeach()
    add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
