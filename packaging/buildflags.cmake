# Debian's hardening flags, as dpkg-buildflags gives them with bindnow, for every optimised build:
# the programs (and the package made from them) then have fortified string and memory functions,
# a strong stack protector, and relocations resolved and made read-only at start. The optimisation
# and debug flags stay the build type's; Debug and sanitizer builds get none of this
# (fortification needs optimisation).
if(RAVIK_SANITIZE OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    return()
endif()
find_program(RAVIK_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT RAVIK_DPKG_BUILDFLAGS)
    return()
endif()
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${RAVIK_DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g|O.*|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
    if(kind STREQUAL "LDFLAGS")
        add_link_options(${flags})
    else()
        add_compile_options(${flags})
    endif()
    list(APPEND RAVIK_HARDENING_FLAGS ${flags})
endforeach()
message(STATUS "Debian hardening flags: ${RAVIK_HARDENING_FLAGS}")
