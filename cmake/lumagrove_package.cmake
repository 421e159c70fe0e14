# Debian packages of the install rules (make package: cpack -G DEB), one a
# component, each with the machine-readable copyright of its combination and
# a changelog in /usr/share/doc/PACKAGE/, its library dependencies found by
# dpkg-shlibdeps. Configured with the prefix /usr (Debian's folders).
#
#   component    package                         what
#   Runtime      liblumagrove0                   liblumagrove.so.0 and the plug-in
#   Development  liblumagrove-dev                the header, the .so link, pkg-config, CMake
#   Preview      lumagrove-preview               the program and its song reader
#   Gst          gstreamer1.0-lumagrove          the element
#   Obs          obs-lumagrove                   the OBS Studio source
#   Vlc          vlc-plugin-lumagrove            the VLC visualisation
#   Kodi         kodi-visualization-lumagrove    the Kodi add-on
# The plug-in's own author and home (what it tells its hosts); whoever
# publishes packages of their own gives their own contact.
set(LUMAGROVE_PACKAGE_CONTACT "Ferk / Druvin <ferk.druvin@lumagrove.org>" CACHE STRING
  "The packages' maintainer, as Debian's Maintainer field gives one")
set(LUMAGROVE_HOMEPAGE https://lumagrove.org/)
set(LUMAGROVE_DEB_VERSION ${PROJECT_VERSION}.0)
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE LUMAGROVE_MULTIARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)

set(LUMAGROVE_GPL_TEXT "
License: GPL-2.0+
 This program is free software; you can redistribute it and/or modify it
 under the terms of the GNU General Public License as published by the Free
 Software Foundation; either version 2 of the License, or (at your option)
 any later version.
 .
 On Debian systems, the complete text of the GNU General Public License
 version 2 can be found in /usr/share/common-licenses/GPL-2.")

# lumagrove_package(COMPONENT PACKAGE SECTION SUMMARY DESCRIPTION [GPL_WITH])
# The package's name, section and description, and its copyright and
# changelog installed as part of the component. GPL_WITH names the GPL
# program the module is combined with: the combination's licence is then
# the GPL's.
function(lumagrove_package component package section summary description)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_COMPONENT_${upper}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  set(LUMAGROVE_PACKAGE ${package})
  if(ARGC GREATER 5)
    set(LUMAGROVE_COMBINATION "License: GPL-2.0+
Comment: This package's module is loaded by ${ARGV5}, licensed under the GPL,
 version 2 or later, and built with its development files: the combination
 is distributed under the GPL-2.0+, the module's own source under MIT.
")
    set(LUMAGROVE_GPL "${LUMAGROVE_GPL_TEXT}")
  else()
    set(LUMAGROVE_COMBINATION "")
    set(LUMAGROVE_GPL "")
  endif()
  set(doc ${PROJECT_BINARY_DIR}/packaging/${package})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${doc}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${doc}/changelog @ONLY)
  execute_process(COMMAND gzip -9nkf ${doc}/changelog)  # as Debian's: no name or date inside
  # In the package alone: an install of everything (make install) leaves them out.
  install(FILES ${doc}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

lumagrove_package(Runtime liblumagrove0 libs "Lumagrove music visualisation library"
  "liblumagrove draws Lumagrove, a four-pointed star with glowing blue, green
and red sprites that swell with the music, from the sound a program pushes
in: into memory, a texture or the program's own OpenGL context. It holds
the Lumagrove plug-in every Lumagrove host shares.")
lumagrove_package(Development liblumagrove-dev libdevel "Lumagrove music visualisation library (development files)"
  "The C header, the link to the library, the pkg-config file (lumagrove) and
the CMake package (find_package(Lumagrove)) to build programs on
liblumagrove, the Lumagrove music visualisation library.")
lumagrove_package(Preview lumagrove-preview video "Lumagrove music visualisation: songs to videos, frames and windows"
  "lumagrove-preview turns a song (any format FFmpeg reads) into a video with
its sound, PNG frames or a contact sheet of Lumagrove, the star with glows
that swell with the music; it also shows it live in a window, and can
capture whatever the machine plays.")
lumagrove_package(Gst gstreamer1.0-lumagrove video "Lumagrove music visualisation for GStreamer"
  "The lumagrove element turns sound into video of Lumagrove, the star with
glows that swell with the music, in any GStreamer pipeline, and as playbin's
visualisation.")
lumagrove_package(Obs obs-lumagrove video "Lumagrove music visualisation source for OBS Studio"
  "The Lumagrove source draws Lumagrove, the star with glows that swell with
the music, from any audio source of an OBS Studio scene." "OBS Studio (libobs)")
lumagrove_package(Vlc vlc-plugin-lumagrove video "Lumagrove music visualisation for VLC"
  "Lumagrove, the star with glows that swell with the music, in VLC's
Audio > Visualizations menu.")
lumagrove_package(Kodi kodi-visualization-lumagrove video "Lumagrove music visualisation for Kodi"
  "Lumagrove, the star with glows that swell with the music, as a Kodi
visualisation: Settings > Player > Music > Visualisation." "Kodi (its add-on kit)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumagrove)
set(CPACK_PACKAGE_VERSION ${LUMAGROVE_DEB_VERSION})
set(CPACK_PACKAGE_CONTACT ${LUMAGROVE_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${LUMAGROVE_HOMEPAGE})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
foreach(host Preview:lumagrove-preview Gst:gstlumagrove Obs:lumagrove-obs Vlc:lumagrove_vlc_plugin
    Kodi:lumagrove_kodi)  # the hosts built
  string(REPLACE ":" ";" host ${host})
  list(GET host 1 target)
  if(TARGET ${target})
    list(GET host 0 component)
    list(APPEND CPACK_COMPONENTS_ALL ${component})
  endif()
endforeach()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# liblumagrove.so.0, which the hosts link, is found in the build (its own
# package gives it, with a shlibs file for the hosts' dependencies on it).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
# A shlibs file for liblumagrove.so.0 (CPack gives it to every package with
# a library of a soname; the modules have none). Programs built on it
# against this version need this version or later.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
foreach(component Development Preview Gst Obs Vlc Kodi)
  string(TOUPPER ${component} upper)
  set(CPACK_COMPONENT_${upper}_DEPENDS Runtime)
endforeach()
# What each host's own program must be, beyond the libraries it links.
set(CPACK_DEBIAN_OBS_PACKAGE_DEPENDS "obs-studio (>= 29)")
set(CPACK_DEBIAN_VLC_PACKAGE_DEPENDS "vlc-plugin-abi-3-0-0f")
set(CPACK_DEBIAN_KODI_PACKAGE_DEPENDS "kodi-api-visualization (>= 4.0.0), kodi-api-visualization (<< 4.1.0)")
# ldconfig by dpkg's trigger, as Debian's libraries run it (CPack also writes
# a postinst and postrm calling it: redundant, harmless).
# The library's ABI, name by name with the version that brought it (the
# tests hold the exports to it), for dpkg-shlibdeps of programs built on it.
configure_file(${PROJECT_SOURCE_DIR}/packaging/liblumagrove0.symbols ${PROJECT_BINARY_DIR}/packaging/runtime/symbols
  COPYONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers
  ${PROJECT_BINARY_DIR}/packaging/runtime/symbols)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
foreach(script postinst postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/vlc-${script} ${PROJECT_BINARY_DIR}/packaging/vlc/${script} @ONLY)
endforeach()
set(CPACK_DEBIAN_VLC_PACKAGE_CONTROL_EXTRA
  ${PROJECT_BINARY_DIR}/packaging/vlc/postinst ${PROJECT_BINARY_DIR}/packaging/vlc/postrm)
set(CPACK_DEBIAN_VLC_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
