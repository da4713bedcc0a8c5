# Every library the system links, found through pkg-config. A missing one stops the
# configure step and names the Debian package that provides it.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

function(updater_require target module debian_package)
  pkg_check_modules(${target} IMPORTED_TARGET ${module})
  if(NOT ${target}_FOUND)
    message(FATAL_ERROR "${module} not found: install the Debian package ${debian_package} "
                        "(scripts/install-deps.sh installs everything)")
  endif()
endfunction()

updater_require(LIBUSB libusb-1.0 libusb-1.0-0-dev)
updater_require(HIDAPI hidapi-hidraw libhidapi-dev)
updater_require(CURL libcurl libcurl4-openssl-dev)
updater_require(ZLIB zlib zlib1g-dev)
updater_require(ZMQ libzmq libzmq3-dev)
updater_require(CZMQ libczmq libczmq-dev)
