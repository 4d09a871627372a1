# The hardening that Debian builds its packages with, for the optimised builds (the package is
# one): fortified libc calls, stack protector, format checks, position-independent executables,
# and the whole relocation table resolved at start and read-only afterwards.
# dpkg-buildflags says which flags that takes on this system, so the build follows Debian's
# policy and the builder's DEB_BUILD_MAINT_OPTIONS; elsewhere the same flags are fixed here.
# Optimisation and debug information stay with the build type, and the sanitizer and fuzz
# builds leave out _FORTIFY_SOURCE, whose checks the address sanitizer does better.

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(DPKG_BUILDFLAGS)
set(velmar_hardening_compile)
set(velmar_hardening_link)
if(DPKG_BUILDFLAGS)
  # Every hardening feature (bind-now is not among the defaults), then the builder's options.
  set(velmar_maint_options "hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${velmar_maint_options}"
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${status})")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O|g)|^-f[a-z]+-prefix-map=")
    if(kind STREQUAL "LDFLAGS")
      list(APPEND velmar_hardening_link ${flags})
    else()
      list(APPEND velmar_hardening_compile ${flags})
    endif()
  endforeach()
else()
  set(velmar_hardening_compile
      -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security)
  set(velmar_hardening_link -Wl,-z,relro -Wl,-z,now)
endif()
if(VELMAR_SANITIZE OR VELMAR_FUZZ)
  list(FILTER velmar_hardening_compile EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
endif()
string(JOIN " " velmar_hardening_text ${velmar_hardening_compile} ${velmar_hardening_link})
message(STATUS "Hardening of the optimised builds: ${velmar_hardening_text}")

set(velmar_optimised "$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>")
add_compile_options("$<${velmar_optimised}:${velmar_hardening_compile}>")
add_link_options("$<${velmar_optimised}:${velmar_hardening_link}>")
