# The hardening Debian gives its programs (dpkg-buildflags with hardening=+all), in every build
# but the sanitizers' and the fuzzers', which bring checks of their own that these get in the way
# of: position-independent executables, read-only relocations bound at start, checked string and
# memory functions, and stack protection.
if(MIREBOLT_SANITIZE OR MIREBOLT_FUZZ)
  return()
endif()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat
                    -Werror=format-security)
# The checked functions need the optimiser; a Debug build without it would only be warned.
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
add_link_options(-Wl,-z,relro -Wl,-z,now)
