# The hardening that Debian builds its own packages with (dpkg-buildflags with
# hardening=+all): lintian looks for its traces in the packaged programs. Sanitizer and fuzzer
# builds keep their own instrumentation and make no package, so they go without.
include(CheckCXXCompilerFlag)

if(NOT (ZELMO_ASAN OR ZELMO_TSAN OR ZELMO_FUZZ))
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "zelmo_has${flag}" var)
        check_cxx_compiler_flag(${flag} ${var})
        if(${var})
            add_compile_options(${flag})
        endif()
    endforeach()
    # The checked string and memory functions need the optimiser; without it glibc only
    # warns that they are off.
    add_compile_definitions(
        $<$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>:_FORTIFY_SOURCE=2>)
    # Qt asks for -fPIC on everything that uses it (its Qt5::Core target adds it); the
    # programs are linked as position-independent executables on top of that.
    add_link_options(-pie LINKER:-z,relro LINKER:-z,now)
endif()

# Reproducible builds: the source and build folders' paths stay out of the objects (debug
# information, __FILE__), so two build folders give the same programs; the build folder is
# named last because GCC tries the last given map first and it may lie inside the sources.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
