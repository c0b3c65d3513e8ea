# SPDX-License-Identifier: MIT
# The libraries the companions are built on, as targets that work native and
# cross: wd_libwebsockets (HTTP and WebSocket) and wd_libmosquitto (MQTT).
# tools/setup installs both for both architectures.

add_library(wd_libwebsockets INTERFACE)
if(WD_CROSS)
  # Debian 12's libwebsockets-dev cannot be installed for two architectures
  # at once: the headers come from the arm64 package that tools/setup
  # unpacks beside the system, the library from libwebsockets17:arm64.
  set(WD_ARM64_LWS_DEV /opt/wifidiag/arm64-libwebsockets-dev
      CACHE PATH "libwebsockets-dev:arm64, unpacked by tools/setup")
  set(_lws_lib /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libwebsockets.so.17)
  if(NOT EXISTS ${WD_ARM64_LWS_DEV}/usr/include/lws_config.h OR NOT EXISTS ${_lws_lib})
    message(FATAL_ERROR "arm64 libwebsockets not found (${WD_ARM64_LWS_DEV}, ${_lws_lib}): run tools/setup")
  endif()
  target_include_directories(wd_libwebsockets SYSTEM BEFORE INTERFACE ${WD_ARM64_LWS_DEV}/usr/include)
  target_link_libraries(wd_libwebsockets INTERFACE ${_lws_lib})
  # Its own dependencies (OpenSSL, zlib, ...) resolve from the same folder.
  target_link_options(wd_libwebsockets INTERFACE
    -Wl,-rpath-link,/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  pkg_check_modules(LWS REQUIRED IMPORTED_TARGET libwebsockets)
  target_link_libraries(wd_libwebsockets INTERFACE PkgConfig::LWS)
endif()

# libmosquitto-dev is multiarch: pkg-config finds the arm64 one when cross.
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
add_library(wd_libmosquitto INTERFACE)
target_link_libraries(wd_libmosquitto INTERFACE PkgConfig::MOSQUITTO)

# zlib, which libwebsockets links already: rfwatch-web inflates its
# compressed page for a client that takes no gzip. Cross, like
# libwebsockets, only the arm64 runtime library is installed.
add_library(wd_zlib INTERFACE)
if(WD_CROSS)
  target_link_libraries(wd_zlib INTERFACE /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libz.so.1)
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(wd_zlib INTERFACE ZLIB::ZLIB)
endif()
